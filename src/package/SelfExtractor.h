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
#include "package/PackageEntry.h"
#include "package/PackageEvent.h"
#include "package/PackageFormat.h"
#include "package/PackageResult.h"

class CFile;
class EntryEncoder;
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
    // location, also where the search found the trailer.
    PackageResult ReadTableOfContents(const WideString& packagePath, TocLocation* location = nullptr);
    // Copy of entry index; an empty entry for an index outside the table.
    PackageEntry GetEntry(int32_t index) const;
    int32_t GetEntryCount() const { return m_entryCount; }
    // Entry index, which must be below GetEntryCount(); no copy.
    const PackageEntry& EntryAt(int32_t index) const { return m_entries[index]; }
    // The index of the entry whose name a BEGIN or END event's data points at, or -1.
    int32_t IndexOfEventData(const void* data) const {
        for (int32_t i = 0; i < m_entryCount; ++i) {
            if (data == &m_entries[i].name) return i;
        }
        return -1;
    }
    // Where ExtractEntry and VerifyEntry report progress (ExtractAll sets it too).
    void SetProgressCallback(PackageProgressCallback callback, uintptr_t userData) {
        m_callback = callback;
        m_callbackData = userData;
    }

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
    // writing target in large blocks, not the stream buffers' 4096 bytes: the
    // packer's way (writer/SelfExtractorBlocks.cpp, which the installer does not link).
    PackageResult InflateEntryInBlocks(int32_t index, CFile* target);

    // Writing. AddFile refuses a 257th file, a file that cannot be opened, a name
    // the reader would refuse and a file of 2 GiB or more.
    bool AddFile(WideString path);
    // AddFile for a file the caller has measured already: refuses what AddFile
    // refuses, but opens nothing.
    bool AddMeasuredFile(const WideString& path, uint64_t size);
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
    // Copies the whole of stub, open for reading, into output from its position on.
    // SFX_OK, SFX_ERR_COPY_STUB (the stub cannot be read, or its length changed while
    // it was read), SFX_ERR_WRITE (output cannot be written, or 2 GiB reached).
    PackageResult AppendStub(CFile& stub, CFile& output);
    // Writes the streams, the records and the trailer into output from its position
    // on (after a stub written there). encoder makes each entry's stream; without one
    // it is the single deflate stream that WriteEntries writes. SFX_OK,
    // SFX_ERR_NO_ENTRIES, SFX_ERR_WRITE, SFX_ERR_OPEN_SOURCE.
    PackageResult WritePackageInto(CFile& output, PackageProgressCallback callback, uintptr_t userData,
                                   EntryEncoder* encoder = nullptr);

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
    PackageResult OpenPackageFor(int32_t index, CFile& package) const;
    // Streams entry e out of the open package into target (nullptr: discard).
    // Never throws.
    PackageResult InflateEntry(CFile& package, const PackageEntry& e, CFile* target);
    // Writes the streams, the records and the trailer, each stream the one deflate
    // stream of DeflateEntry: SFX_WRITE_DONE, SFX_ERR_OPEN_SOURCE or SFX_ERR_WRITE.
    // Never throws.
    PackageResult WriteEntries(CFile& output, PackageProgressCallback callback, uintptr_t userData);
    // WriteEntries with encoder making each stream.
    PackageResult AppendEntries(CFile& output, EntryEncoder& encoder, PackageProgressCallback callback,
                                uintptr_t userData);
    PackageResult AppendEntry(CFile& output, EntryEncoder& encoder, PackageEntry& e,
                              PackageProgressCallback callback, uintptr_t userData);
    // The writer's own encoder (EntryEncoder::Encode): one deflate stream at level 6
    // through the object's own stream and buffers.
    PackageResult DeflateEntry(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                               PackageProgressCallback callback, uintptr_t userData);
    class SingleStream;
    PackageResult WriteTableAndTrailer(CFile& output);
    // Percentage of m_progressTotal that the stream has consumed, 0 to 100.
    int32_t GetProgressPercent() const;
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
};
