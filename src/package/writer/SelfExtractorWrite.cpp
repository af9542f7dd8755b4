// Package writing: deflate lives here and only here. Every writer (CreatePackage,
// WritePackage, the packer) takes one path: AppendStub for the stub, AppendEntries
// for the streams, the records and the trailer.
#include <algorithm>
#include <memory>
#include <new>

#include "base/LittleEndian.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/SelfExtractor.h"
#include "package/reader/CatchFileError.h"
#include "package/reader/EntryName.h"
#include "package/reader/RemoveQuietly.h"
#include "package/reader/ZStreamScope.h"
#include "package/writer/EntryEncoder.h"
#include "package/writer/FileIdentity.h"

// The writer's own encoder: one deflate stream through the object's buffers.
class SelfExtractor::SingleStream : public EntryEncoder {
public:
    explicit SingleStream(SelfExtractor& writer) : m_writer(writer) {}
    PackageResult Encode(CFile& source, uint32_t size, CFile& output, uint32_t* compressedSize,
                         PackageProgressCallback callback, uintptr_t userData) override {
        return m_writer.DeflateEntry(source, size, output, compressedSize, callback, userData);
    }

private:
    SelfExtractor& m_writer;
};

namespace {

// Closes a finished output; on any failure, drops and removes it so that no
// package without its table of contents is left to be shipped.
PackageResult FinishOutput(CFile& output, const WideString& path, PackageResult result) {
    if (result == SFX_WRITE_DONE) {
        if (CatchFileError([&] { output.Close(); }) == CFileException::none) return SFX_OK;
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
    return m_entryCount < kMaxEntries && measured.SetFromFile(path) && AddMeasuredFile(path, measured.size);
}

bool SelfExtractor::AddMeasuredFile(const WideString& path, uint64_t size) {
    if (m_entryCount >= kMaxEntries || size > kMaxPackageLength) return false;
    const WideString name = BaseName(path);
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
    if (m_entryCount < 1) return SFX_ERR_NO_ENTRIES;
    CFile stub;
    CFile output;
    if (!stub.Open(stubPath.c_str(), CFile::accessRead | CFile::shareAllowAll | CFile::noInherit) ||
        !OpenStubCopy(stub, packagePath, output)) {
        return SFX_ERR_COPY_STUB;
    }
    // A stub that cannot be copied whole is a failed copy, whichever side failed.
    const PackageResult copied = AppendStub(stub, output);
    stub.Abort();
    return FinishOutput(output, packagePath,
                        copied == SFX_OK ? WriteEntries(output, callback, userData) : SFX_ERR_COPY_STUB);
}

PackageResult SelfExtractor::WritePackage(const WideString& packagePath, PackageProgressCallback callback,
                                          uintptr_t userData) {
    if (m_entryCount < 1) return SFX_ERR_NO_ENTRIES;
    CFile output;
    if (!output.Open(packagePath.c_str(), CFile::create | CFile::shareAllowAll | CFile::accessWrite)) {
        return SFX_ERR_WRITE;
    }
    return FinishOutput(output, packagePath, WriteEntries(output, callback, userData));
}

PackageResult SelfExtractor::AppendStub(CFile& stub, CFile& output) {
    bool reading = true;
    try {
        stub.Seek(0, CFile::begin);
        const uint32_t length = stub.GetLength();
        if (uint64_t{output.GetPosition()} + length > kMaxPackageLength) return SFX_ERR_WRITE;
        uint32_t copied = 0;
        for (;;) {
            reading = true;
            const uint32_t got = stub.Read(m_inBuffer, kBufferSize);
            if (got == 0) break;
            // A stub that grows while it is read is refused, as a growing source is.
            if (got > length - copied) return SFX_ERR_COPY_STUB;
            copied += got;
            reading = false;
            output.Write(m_inBuffer, got);
        }
        return copied == length ? SFX_OK : SFX_ERR_COPY_STUB;
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        return reading ? SFX_ERR_COPY_STUB : SFX_ERR_WRITE;
    }
}

PackageResult SelfExtractor::WritePackageInto(CFile& output, PackageProgressCallback callback,
                                              uintptr_t userData, EntryEncoder* encoder) {
    if (m_entryCount < 1) return SFX_ERR_NO_ENTRIES;
    SingleStream single(*this);
    const PackageResult result =
        AppendEntries(output, encoder != nullptr ? *encoder : single, callback, userData);
    return result == SFX_WRITE_DONE ? SFX_OK : result;
}

PackageResult SelfExtractor::WriteEntries(CFile& output, PackageProgressCallback callback,
                                          uintptr_t userData) {
    SingleStream single(*this);
    return AppendEntries(output, single, callback, userData);
}

PackageResult SelfExtractor::AppendEntries(CFile& output, EntryEncoder& encoder,
                                           PackageProgressCallback callback, uintptr_t userData) {
    if (m_entryCount < 1 || m_entryCount > kMaxEntries) return SFX_ERR_NO_ENTRIES;
    for (int32_t i = 0; i < m_entryCount; ++i) {
        // Entries set by hand bypass AddFile; never write a table the reader refuses.
        if (!IsValidEntryName(m_entries[i].name)) return SFX_ERR_WRITE;
    }
    for (int32_t i = 0; i < m_entryCount; ++i) {
        const PackageResult result = AppendEntry(output, encoder, m_entries[i], callback, userData);
        if (result != SFX_OK) return result;
        if (callback != nullptr) callback(SFX_EVENT_END, &m_entries[i].name, userData);
    }
    return WriteTableAndTrailer(output);
}

PackageResult SelfExtractor::AppendEntry(CFile& output, EntryEncoder& encoder, PackageEntry& e,
                                         PackageProgressCallback callback, uintptr_t userData) {
    CFile source;
    if (!source.Open(e.sourcePath.c_str(), CFile::accessRead | CFile::shareAllowAll)) {
        return SFX_ERR_OPEN_SOURCE;
    }
    try {
        if (callback != nullptr) callback(SFX_EVENT_BEGIN, &e.name, userData);
        const uint32_t offset = output.GetPosition();
        if (offset > kMaxPackageLength) return SFX_ERR_WRITE;
        e.offset = offset;
        // The recorded size must be what the stream holds, or the reader refuses it.
        if (source.GetLength() != e.size) return SFX_ERR_OPEN_SOURCE;
        uint32_t compressedSize = 0;
        const PackageResult result =
            encoder.Encode(source, e.size, output, &compressedSize, callback, userData);
        if (result == SFX_OK) e.compressedSize = compressedSize;
        return result;
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        return SFX_ERR_WRITE;
    } catch (const std::bad_alloc&) {
        return SFX_ERR_WRITE;
    }
}

PackageResult SelfExtractor::DeflateEntry(CFile& source, uint32_t size, CFile& output,
                                          uint32_t* compressedSize, PackageProgressCallback callback,
                                          uintptr_t userData) {
    ResetStreamBuffers();
    m_progressTotal = static_cast<int32_t>(size);
    if (deflateInit(this, 6) != Z_OK) return SFX_ERR_WRITE;
    ZStreamScope<deflateEnd> scope(this);

    uint64_t end = output.GetPosition();
    // Writes what deflate produced unless it would carry the package to 2 GiB.
    auto takeOutput = [&]() -> bool {
        end += kBufferSize - avail_out;
        if (end > kMaxPackageLength) return false;
        FlushOutput(output);
        return true;
    };

    int r = Z_OK;
    for (;;) {
        if (FillInput(source) == 0) break;
        // A source that grows while it is read (a device, a log) is refused
        // instead of being read without end.
        if (total_in + avail_in > size) return SFX_ERR_OPEN_SOURCE;
        r = deflate(this, Z_NO_FLUSH);
        if (!takeOutput()) return SFX_ERR_WRITE;
        if (r != Z_OK) break;
        if (callback != nullptr) {
            int32_t percent = GetProgressPercent();
            callback(SFX_EVENT_PROGRESS, &percent, userData);
        }
    }
    source.Close();
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
    try {
        uint64_t end = output.GetPosition();
        for (int32_t i = 0; i < m_entryCount; ++i) {
            end += kRecordFixedLength + 2 * static_cast<uint64_t>(m_entries[i].name.GetLength());
        }
        end += kTrailerLength;
        if (end > kMaxPackageLength) return SFX_ERR_WRITE;

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
        return SFX_WRITE_DONE;
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        return SFX_ERR_WRITE;
    }
}
