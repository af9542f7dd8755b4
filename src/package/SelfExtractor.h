// The package layer: finds, reads and inflates the package appended to an
// executable (reader/, library sfx_package_read, what the installer links) and builds
// packages (writer/, library sfx_package_write, which the installer does not link).
// The object is itself the zlib stream that it hands to inflate and deflate. One
// thread at a time; no file stays open between calls.
#pragma once

#include <zlib.h>

#include <cstdint>

#include "base/Path.h"
#include "base/WideString.h"
#include "package/FileFailure.h"
#include "package/PackageEntry.h"
#include "package/PackageEvent.h"
#include "package/PackageFormat.h"
#include "package/PackageResult.h"

class CFile;
class EntryEncoder;
class EntryProgress;
struct TocLocation;

// The two stream buffers, each read and written in one piece.
constexpr uint32_t kBufferSize = 4096;

class SelfExtractor : public z_stream_s {
public:
    // Records the path of the running executable as the package path.
    SelfExtractor();
    // Reads the package at packagePath instead (the packer, tests).
    explicit SelfExtractor(const WideString& packagePath);
    SelfExtractor(const SelfExtractor&) = delete;
    SelfExtractor& operator=(const SelfExtractor&) = delete;
    virtual ~SelfExtractor();

    WideString GetPackagePath() const { return m_packagePath; }
    void SetPackagePath(const WideString& packagePath) { m_packagePath = packagePath; }

    // SFX_OK, SFX_ERR_OPEN_PACKAGE, SFX_ERR_BAD_PACKAGE or SFX_ERR_NO_ENTRIES. The
    // previous table is gone whatever the outcome; after a failure it is empty. With
    // location, also where the search found the trailer. A package that cannot be
    // read is SFX_ERR_BAD_PACKAGE too; LastFailure tells it from one that is none.
    PackageResult ReadTableOfContents(const WideString& packagePath, TocLocation* location = nullptr);
    // Copy of entry index; an empty entry for an index outside the table.
    PackageEntry GetEntry(int32_t index) const;
    int32_t GetEntryCount() const { return m_entryCount; }
    // Entry index, which must be below GetEntryCount(); no copy.
    const PackageEntry& EntryAt(int32_t index) const { return m_entries[index]; }
    // The file behind the last operation's failure, with the side and the system's
    // error where the system refused a read or write (a file whose length changed
    // has no side); empty when the operation succeeded or failed on the package's
    // own account (damage, a limit). Every operation clears it as it starts.
    const FileFailure& LastFailure() const { return m_failure; }

    // Inflates entry index into destFolder (a separator is appended unless it ends
    // in one). SFX_OK, SFX_ERR_WRITE (target cannot be created or written),
    // SFX_ERR_OPEN_SOURCE (package cannot be opened or read), SFX_ERR_DAMAGED (the
    // entry's name, offset or data is bad; no file is left), SFX_ERR_NO_ENTRIES (no
    // such index); with readTableFirst also the results of ReadTableOfContents.
    // The file is written with writers refused. With held, the whole file is opened
    // into it again for reading, still refusing writers, before anyone else can open
    // it for writing, and stays held until the caller closes held (SFX_ERR_WRITE when
    // that open fails).
    PackageResult ExtractEntry(int32_t index, WideString destFolder, bool readTableFirst,
                               CFile* held = nullptr);
    // Inflates entry index into target, a file already open for writing, and checks
    // it as ExtractEntry does; target stays open and the caller decides what becomes
    // of it. SFX_OK, SFX_ERR_WRITE, SFX_ERR_OPEN_SOURCE, SFX_ERR_DAMAGED (bad name,
    // offset or data), SFX_ERR_NO_ENTRIES.
    PackageResult ExtractEntryInto(int32_t index, CFile& target);
    // Reads the table, then extracts every entry, the last one first, framing each
    // success with SFX_EVENT_BEGIN/END. The callback stays in m_callback afterwards.
    // SFX_OK, or SFX_ERR_WRITE when at least one entry failed, or the results of
    // ReadTableOfContents, or SFX_ERR_OPEN_SOURCE.
    PackageResult ExtractAll(WideString destFolder, PackageProgressCallback callback, uintptr_t userData);
    // Inflates entry index of the table read and checks it as extraction does,
    // writing nothing. SFX_OK, SFX_ERR_DAMAGED, SFX_ERR_OPEN_SOURCE, SFX_ERR_NO_ENTRIES.
    PackageResult VerifyEntry(int32_t index);
    // ExtractEntryInto (target) or VerifyEntry (nullptr) reading the package and
    // writing target in large blocks, not the stream buffers' 4096 bytes, and
    // reporting to progress (may be null) instead of m_callback: the packer's way
    // (reader/SelfExtractorBlocks.cpp, which the installer never calls).
    PackageResult InflateEntryInBlocks(int32_t index, CFile* target, EntryProgress* progress = nullptr);

    // Writing. AddFile refuses a 257th file, a file that cannot be opened, a name
    // the reader would refuse and a file of 2 GiB or more.
    bool AddFile(WideString path);
    // AddFile for a file the caller has opened, named and measured already: takes
    // name and size as given, refusing only what AddFile refuses.
    bool AddNamedFile(const WideString& path, const WideString& name, uint64_t size);
    void ClearEntries();
    // SFX_OK, SFX_ERR_NO_ENTRIES, SFX_ERR_COPY_STUB, SFX_ERR_WRITE, SFX_ERR_OPEN_SOURCE;
    // after a failure no output is left at packagePath.
    PackageResult CreatePackage(const WideString& stubPath, const WideString& packagePath,
                                PackageProgressCallback callback, uintptr_t userData);
    // SFX_OK, SFX_ERR_NO_ENTRIES, SFX_ERR_WRITE, SFX_ERR_OPEN_SOURCE; after a failure
    // no output is left at packagePath.
    PackageResult WritePackage(const WideString& packagePath, PackageProgressCallback callback,
                               uintptr_t userData);

    // The write path under both, for a caller that holds its output open itself and
    // decides where it is made and when it takes its name; output stays open.
    // Copies the whole of stub, open for reading and length bytes long as its caller
    // measured it, into output from its position on. SFX_OK, SFX_ERR_COPY_STUB (the
    // stub cannot be read, or holds other than length bytes), SFX_ERR_WRITE (output
    // cannot be written, or 2 GiB reached).
    PackageResult AppendStub(CFile& stub, uint32_t length, CFile& output);
    // Writes the streams, the records and the trailer into output from its position
    // on (after a stub written there), reporting each entry to progress (may be null).
    // encoder makes each entry's stream; without one it is the single deflate stream
    // that WriteEntries writes. sources, when given, holds entry i's file at [i], open
    // for reading at its start and of the entry's size: the writer then opens none
    // itself. SFX_OK, SFX_ERR_NO_ENTRIES, SFX_ERR_WRITE, SFX_ERR_OPEN_SOURCE.
    PackageResult WritePackageInto(CFile& output, EntryProgress* progress, EntryEncoder* encoder = nullptr,
                                   CFile* const* sources = nullptr);

protected:
    // Extracts entry index from the open package: SFX_OK, SFX_ERR_WRITE,
    // SFX_ERR_OPEN_SOURCE or SFX_ERR_DAMAGED. A failed entry leaves no file.
    PackageResult ExtractEntryToFile(CFile& package, int32_t index, const WideString& destFolder,
                                     CFile* held = nullptr);
    // Opens the package and inflates entry index into target (nullptr: discard),
    // refusing a name extraction would refuse.
    PackageResult InflateEntryAt(int32_t index, CFile* target);
    // Opens the package for entry index: SFX_OK, SFX_ERR_NO_ENTRIES (no such index),
    // SFX_ERR_DAMAGED (a name extraction would refuse) or SFX_ERR_OPEN_SOURCE.
    PackageResult OpenPackageFor(int32_t index, CFile& package);
    // Streams entry e out of the open package into target (nullptr: discard),
    // reporting to progress, or else to m_callback in percent. Never throws.
    PackageResult InflateEntry(CFile& package, const PackageEntry& e, CFile* target,
                               EntryProgress* progress = nullptr);
    // Writes the streams, the records and the trailer, each stream the one deflate
    // stream of DeflateEntry: SFX_WRITE_DONE, SFX_ERR_OPEN_SOURCE or SFX_ERR_WRITE.
    // Never throws.
    PackageResult WriteEntries(CFile& output, PackageProgressCallback callback, uintptr_t userData);
    // WriteEntries with encoder making each stream, from sources when given.
    PackageResult AppendEntries(CFile& output, EntryEncoder& encoder, EntryProgress* progress,
                                CFile* const* sources);
    // source: the entry's file, open; nullptr: opened here from its source path.
    PackageResult AppendEntry(CFile& output, EntryEncoder& encoder, PackageEntry& e, EntryProgress* progress,
                              CFile* source);
    // The writer's own encoder (EntryEncoder::Encode): one deflate stream at
    // kDefaultDeflateLevel through the object's own stream and buffers.
    PackageResult DeflateEntry(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                               EntryProgress* progress, FileFailure* failure);
    class SingleStream;
    class CallbackProgress;
    PackageResult WriteTableAndTrailer(CFile& output);
    // Percentage of m_progressTotal that the stream has consumed, 0 to 100.
    int32_t GetProgressPercent() const;
    // consumed of total as GetProgressPercent counts it.
    static int32_t PercentOf(uint32_t consumed, uint32_t total);
    // Keeps what failed, with the error the file layer threw, and answers result.
    PackageResult Failed(PackageResult result, FileFailure::Side side, const WideString& file,
                         const CFileException& error);
    // Keeps the limit reached (file: the output it concerns) and answers SFX_ERR_WRITE.
    PackageResult Reached(FileFailure::Limit limit) {
        m_failure = FileFailure();
        m_failure.limit = limit;
        return SFX_ERR_WRITE;
    }
    PackageResult Reached(FileFailure::Limit limit, const WideString& file);
    // CFile::Open, keeping a failure to open path as side's.
    bool OpenFile(CFile& file, const WideString& path, uint32_t flags, FileFailure::Side side);
    // When no input is pending, reads up to 4096 bytes of source into m_inBuffer;
    // answers the pending input count (0: source exhausted).
    uint32_t FillInput(CFile& source);
    // Writes what the stream put into m_outBuffer to target and frees the buffer
    // again; answers the count written.
    uint32_t FlushOutput(CFile& target);
    void ResetStreamBuffers();

public:
    WideString m_packagePath;
    PackageEntry m_entries[kMaxEntries];
    int32_t m_entryCount = 0;
    PackageProgressCallback m_callback = nullptr;
    uintptr_t m_callbackData = 0;
    uint8_t m_inBuffer[kBufferSize];
    uint8_t m_outBuffer[kBufferSize];
    int32_t m_progressTotal = 0;
    FileFailure m_failure;
};
