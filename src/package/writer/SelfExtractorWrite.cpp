// Package writing. Every writer (CreatePackage, WritePackage, the packer) takes one
// path: AppendStub for the stub, AppendEntries for the streams, the records and the
// trailer; each stream is the writer's own single deflate stream (DeflateEntry) or an
// EntryEncoder's (the packer's ParallelEntryEncoder).
#include <algorithm>
#include <memory>
#include <new>

#include "base/LittleEndian.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "file/RemoveQuietly.h"
#include "package/EntryProgress.h"
#include "package/SelfExtractor.h"
#include "package/reader/EntryName.h"
#include "package/reader/ZStreamScope.h"
#include "package/writer/EntryEncoder.h"
#include "package/writer/FileIdentity.h"

// The writer's own encoder: one deflate stream through the object's buffers.
class SelfExtractor::SingleStream : public EntryEncoder {
public:
    explicit SingleStream(SelfExtractor& writer) : m_writer(writer) {}
    PackageResult Encode(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                         EntryProgress* progress, FileFailure* failure) override {
        return m_writer.DeflateEntry(source, size, output, compressedSize, progress, failure);
    }

private:
    SelfExtractor& m_writer;
};

// The callback of CreatePackage and WritePackage: BEGIN and END with the entry's name
// in the table, PROGRESS with the percentage of its source consumed.
class SelfExtractor::CallbackProgress : public EntryProgress {
public:
    CallbackProgress(PackageProgressCallback callback, uintptr_t userData)
        : m_callback(callback), m_userData(userData) {}
    void Begin(const PackageEntry& entry, uint64_t total) override {
        m_total = static_cast<uint32_t>(total);
        // The callback's data is not const; the entry, in the writer's table, is not either.
        m_callback(SFX_EVENT_BEGIN, const_cast<WideString*>(&entry.name), m_userData);
    }
    void Advance(uint64_t consumed) override {
        int32_t percent = PercentOf(static_cast<uint32_t>(consumed), m_total);
        m_callback(SFX_EVENT_PROGRESS, &percent, m_userData);
    }
    void End(const PackageEntry& entry) override {
        m_callback(SFX_EVENT_END, const_cast<WideString*>(&entry.name), m_userData);
    }

private:
    PackageProgressCallback m_callback;
    uintptr_t m_userData;
    uint32_t m_total = 0;
};

namespace {

// Closes a finished output; on any failure, drops and removes it so that no
// package without its table of contents is left to be shipped. A failed close is
// kept in *failure.
PackageResult FinishOutput(CFile& output, const WideString& path, PackageResult result,
                           FileFailure* failure) {
    if (result == SFX_WRITE_DONE) {
        if (failure->Catch(FileFailure::kWrite, path, [&] { output.Close(); })) return SFX_OK;
        result = SFX_ERR_WRITE;
    }
    output.Abort();
    RemoveQuietly(path);
    return result;
}

// Opens path to take the stub's copy, emptied only once it is known to be neither the
// stub itself, which the copy would destroy, nor anything but a regular file; else
// false, with path as it was.
bool OpenStubCopy(CFile& stub, const WideString& path, CFile& output) {
    if (!IsRegularFile(stub)) return false;
    const uint32_t flags = CFile::create | CFile::noTruncate | CFile::accessWrite | CFile::shareAllowAll;
    if (!output.Open(path.c_str(), flags | CFile::noInherit)) return false;
    if (IsRegularFile(output) && !IsSameFile(stub, output) &&
        CatchFileError([&] { output.SetLength(0); }) == CFileException::none) {
        return true;
    }
    output.Abort();
    return false;
}

}  // namespace

bool SelfExtractor::AddFile(WideString path) {
    PackageEntry measured;
    return m_entryCount < kMaxEntries && measured.SetFromFile(path) &&
           AddNamedFile(path, measured.name, measured.size);
}

bool SelfExtractor::AddNamedFile(const WideString& path, const WideString& name, uint64_t size) {
    if (m_entryCount >= kMaxEntries || size > kMaxPackageLength) return false;
    // The reader would refuse these, so the writer does too.
    if (!IsValidEntryName(name)) return false;
    PackageEntry& e = m_entries[m_entryCount++];
    e.name = name;
    e.sourcePath = path;
    e.size = static_cast<uint32_t>(size);
    return true;
}

void SelfExtractor::ClearEntries() {
    for (PackageEntry& entry : m_entries) entry.Reset();
    m_entryCount = 0;
}

PackageResult SelfExtractor::CreatePackage(const WideString& stubPath, const WideString& packagePath,
                                           PackageProgressCallback callback, uintptr_t userData) {
    m_failure = FileFailure();
    if (m_entryCount < 1) return SFX_ERR_NO_ENTRIES;
    CFile stub;
    CFile output;
    if (!OpenFile(stub, stubPath, CFile::accessRead | CFile::shareAllowAll | CFile::noInherit,
                  FileFailure::kRead)) {
        return SFX_ERR_COPY_STUB;
    }
    uint32_t length = 0;
    if (!m_failure.Catch(FileFailure::kRead, stubPath, [&] { length = stub.GetLength(); }))
        return SFX_ERR_COPY_STUB;
    if (!OpenStubCopy(stub, packagePath, output)) return SFX_ERR_COPY_STUB;
    // A stub that cannot be copied whole is a failed copy, whichever side failed.
    const PackageResult copied = AppendStub(stub, length, output);
    stub.Abort();
    return FinishOutput(output, packagePath,
                        copied == SFX_OK ? WriteEntries(output, callback, userData) : SFX_ERR_COPY_STUB,
                        &m_failure);
}

PackageResult SelfExtractor::WritePackage(const WideString& packagePath, PackageProgressCallback callback,
                                          uintptr_t userData) {
    m_failure = FileFailure();
    if (m_entryCount < 1) return SFX_ERR_NO_ENTRIES;
    CFile output;
    if (!OpenFile(output, packagePath, CFile::create | CFile::shareAllowAll | CFile::accessWrite,
                  FileFailure::kWrite)) {
        return SFX_ERR_WRITE;
    }
    return FinishOutput(output, packagePath, WriteEntries(output, callback, userData), &m_failure);
}

PackageResult SelfExtractor::AppendStub(CFile& stub, uint32_t length, CFile& output) {
    m_failure = FileFailure();
    const WideString& from = stub.m_fileName;
    const WideString& to = output.m_fileName;
    uint32_t position = 0;
    if (!m_failure.Catch(FileFailure::kRead, from, [&] { stub.Seek(0, CFile::begin); }))
        return SFX_ERR_COPY_STUB;
    if (!m_failure.Catch(FileFailure::kWrite, to, [&] { position = output.GetPosition(); }))
        return SFX_ERR_WRITE;
    if (uint64_t{position} + length > kMaxPackageLength) return Reached(FileFailure::kTooLong, to);
    uint32_t copied = 0;
    uint32_t got = 0;
    for (;;) {
        if (!m_failure.Catch(FileFailure::kRead, from, [&] { got = stub.Read(m_inBuffer, kBufferSize); }))
            return SFX_ERR_COPY_STUB;
        // A stub that grew since it was measured is refused, as a growing source is.
        if (got == 0 || got > length - copied) break;
        copied += got;
        if (!m_failure.Catch(FileFailure::kWrite, to, [&] { output.Write(m_inBuffer, got); }))
            return SFX_ERR_WRITE;
    }
    if (copied == length && got == 0) return SFX_OK;
    m_failure.file = from;
    return SFX_ERR_COPY_STUB;
}

PackageResult SelfExtractor::WritePackageInto(CFile& output, EntryProgress* progress, EntryEncoder* encoder,
                                              CFile* const* sources) {
    m_failure = FileFailure();
    if (m_entryCount < 1) return SFX_ERR_NO_ENTRIES;
    SingleStream single(*this);
    const PackageResult result =
        AppendEntries(output, encoder != nullptr ? *encoder : single, progress, sources);
    return result == SFX_WRITE_DONE ? SFX_OK : result;
}

PackageResult SelfExtractor::WriteEntries(CFile& output, PackageProgressCallback callback,
                                          uintptr_t userData) {
    SingleStream single(*this);
    CallbackProgress reported(callback, userData);
    return AppendEntries(output, single, callback != nullptr ? &reported : nullptr, nullptr);
}

PackageResult SelfExtractor::AppendEntries(CFile& output, EntryEncoder& encoder, EntryProgress* progress,
                                           CFile* const* sources) {
    if (m_entryCount < 1 || m_entryCount > kMaxEntries) return SFX_ERR_NO_ENTRIES;
    for (int32_t i = 0; i < m_entryCount; ++i) {
        // Entries set by hand bypass AddFile; never write a table the reader refuses.
        if (!IsValidEntryName(m_entries[i].name)) return SFX_ERR_WRITE;
    }
    for (int32_t i = 0; i < m_entryCount; ++i) {
        const PackageResult result =
            AppendEntry(output, encoder, m_entries[i], progress, sources != nullptr ? sources[i] : nullptr);
        if (result != SFX_OK) return result;
        if (progress != nullptr) progress->End(m_entries[i]);
    }
    return WriteTableAndTrailer(output);
}

PackageResult SelfExtractor::AppendEntry(CFile& output, EntryEncoder& encoder, PackageEntry& e,
                                         EntryProgress* progress, CFile* source) {
    CFile opened;
    if (source == nullptr) {
        if (!OpenFile(opened, e.sourcePath, CFile::accessRead | CFile::shareAllowAll, FileFailure::kRead)) {
            return SFX_ERR_OPEN_SOURCE;
        }
        source = &opened;
    }
    if (progress != nullptr) progress->Begin(e, e.size);
    uint32_t offset = 0;
    if (!m_failure.Catch(FileFailure::kWrite, output.m_fileName, [&] { offset = output.GetPosition(); }))
        return SFX_ERR_WRITE;
    if (offset > kMaxPackageLength) return Reached(FileFailure::kTooLong, output.m_fileName);
    e.offset = offset;
    // The encoder checks that the source holds exactly the size recorded, or the
    // reader would refuse the entry.
    uint32_t compressedSize = 0;
    FileFailure failure;
    PackageResult result = SFX_ERR_WRITE;
    try {
        result = encoder.Encode(*source, e.size, output, &compressedSize, progress, &failure);
    } catch (const std::bad_alloc&) {
        return Reached(FileFailure::kNoMemory);
    }
    // Named as the writer knows them: the output, or the entry's own path.
    if (failure.Failed() || result == SFX_ERR_OPEN_SOURCE) {
        failure.file = failure.side == FileFailure::kWrite ? output.m_fileName : e.sourcePath;
    }
    m_failure = failure;
    if (result == SFX_OK) e.compressedSize = compressedSize;
    return result;
}

PackageResult SelfExtractor::DeflateEntry(CFile& source, uint32_t size, CFile& output,
                                          uint32_t* compressedSize, EntryProgress* progress,
                                          FileFailure* failure) {
    ResetStreamBuffers();
    if (deflateInit(this, kDefaultDeflateLevel) != Z_OK) {
        *failure = FileFailure::Reached(FileFailure::kNoMemory);
        return SFX_ERR_WRITE;
    }
    ZStreamScope<deflateEnd> scope(this);
    uint64_t end = 0;
    if (!failure->Catch(FileFailure::kWrite, output.m_fileName, [&] { end = output.GetPosition(); }))
        return SFX_ERR_WRITE;
    // Writes what deflate produced unless it would carry the package to 2 GiB.
    auto takeOutput = [&]() -> bool {
        end += kBufferSize - avail_out;
        if (end > kMaxPackageLength) {
            *failure = FileFailure::Reached(FileFailure::kTooLong, output.m_fileName);
            return false;
        }
        return failure->Catch(FileFailure::kWrite, output.m_fileName, [&] { FlushOutput(output); });
    };
    const auto read = [&](auto&& call) {
        return failure->Catch(FileFailure::kRead, source.m_fileName, call);
    };
    int r = Z_OK;
    for (;;) {
        uint32_t pending = 0;
        if (!read([&] { pending = FillInput(source); })) return SFX_ERR_WRITE;
        if (pending == 0) break;
        // A source that grows while it is read (a device, a log) is refused
        // instead of being read without end.
        if (total_in + avail_in > size) return SFX_ERR_OPEN_SOURCE;
        r = deflate(this, Z_NO_FLUSH);
        if (!takeOutput()) return SFX_ERR_WRITE;
        if (r != Z_OK) break;
        if (progress != nullptr) progress->Advance(total_in);
    }
    if (!read([&] { source.Close(); })) return SFX_ERR_WRITE;
    do {
        r = deflate(this, Z_FINISH);
        if (!takeOutput()) return SFX_ERR_WRITE;
    } while (r == Z_OK);
    if (r != Z_STREAM_END) return SFX_ERR_WRITE;
    if (total_in != size) return SFX_ERR_OPEN_SOURCE;
    *compressedSize = static_cast<uint32_t>(total_out);
    return SFX_OK;
}

PackageResult SelfExtractor::WriteTableAndTrailer(CFile& output) {
    const WideString& to = output.m_fileName;
    uint64_t end = 0;
    if (!m_failure.Catch(FileFailure::kWrite, to, [&] { end = output.GetPosition(); })) return SFX_ERR_WRITE;
    for (int32_t i = 0; i < m_entryCount; ++i) {
        end += kRecordFixedLength + 2 * static_cast<uint64_t>(m_entries[i].name.GetLength());
    }
    end += kTrailerLength;
    if (end > kMaxPackageLength) return Reached(FileFailure::kTooLong, to);
    const bool written = m_failure.Catch(FileFailure::kWrite, to, [&] {
        uint8_t record[kRecordFixedLength + 2 * kMaxNameLength];
        for (int32_t i = 0; i < m_entryCount; ++i) {
            const PackageEntry& e = m_entries[i];
            const uint32_t nameLength = static_cast<uint32_t>(e.name.GetLength());
            StoreLe32(record, e.offset);
            StoreLe32(record + 4, e.size);
            StoreLe32(record + 8, e.compressedSize);
            uint8_t* at = record + 12;
            for (uint32_t u = 0; u < nameLength; ++u) {
                *at++ = static_cast<uint8_t>(e.name[u]);
                *at++ = static_cast<uint8_t>(e.name[u] >> 8);
            }
            StoreLe32(at, nameLength);
            output.Write(record, kRecordFixedLength + 2 * nameLength);
        }
        uint8_t trailer[kTrailerLength];
        StoreLe32(trailer, static_cast<uint32_t>(m_entryCount));
        std::copy(kPackageVersion, kPackageVersion + 4, trailer + 4);
        std::copy(kPackageMarker, kPackageMarker + kMarkerLength, trailer + 8);
        output.Write(trailer, sizeof trailer);
    });
    return written ? SFX_WRITE_DONE : SFX_ERR_WRITE;
}
