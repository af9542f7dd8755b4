// Package writing: deflate lives here and only here.
#include <algorithm>
#include <memory>
#include <new>

#include "base/LittleEndian.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/EntryName.h"
#include "package/RemoveQuietly.h"
#include "package/SelfExtractor.h"
#include "package/StubCopy.h"
#include "package/ZStreamScope.h"

namespace {

// Closes a finished output; on any failure, drops and removes it so that no
// package without its table of contents is left to be shipped.
PackageResult FinishOutput(CFile& output, const WideString& path, PackageResult result) {
    if (result == SFX_WRITE_DONE) {
        try {
            output.Close();
            return SFX_OK;
        } catch (CFileException* error) {
            std::unique_ptr<CFileException> owner(error);
            result = SFX_ERR_WRITE;
        }
    }
    output.Abort();
    RemoveQuietly(path);
    return result;
}

}  // namespace

bool SelfExtractor::AddFile(WideString path) {
    if (m_entryCount >= kMaxEntries) return false;
    PackageEntry& e = m_entries[m_entryCount];
    if (!e.SetFromFile(path)) return false;
    // The reader would refuse these, so the writer does too.
    if (!IsValidEntryName(e.name) || e.size > kMaxPackageLength) {
        e.Reset();
        return false;
    }
    ++m_entryCount;
    return true;
}

void SelfExtractor::ClearEntries() {
    for (PackageEntry& entry : m_entries) entry.Reset();
    m_entryCount = 0;
}

PackageResult SelfExtractor::CreatePackage(const WideString& stubPath, const WideString& packagePath,
                                           PackageProgressCallback callback, uintptr_t userData) {
    if (m_entryCount < 1) return SFX_ERR_NO_ENTRIES;
    // Refuses to copy a file onto itself, and removes what a failed copy left.
    if (!CopyStubFile(stubPath, packagePath)) return SFX_ERR_COPY_STUB;
    CFile output;
    if (!output.Open(packagePath.c_str(), CFile::accessWrite | CFile::shareAllowAll)) {
        RemoveQuietly(packagePath);
        return SFX_ERR_WRITE;
    }
    PackageResult result = SFX_ERR_WRITE;
    try {
        output.Seek(0, CFile::end);
        result = WriteEntries(output, callback, userData);
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
    }
    return FinishOutput(output, packagePath, result);
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

PackageResult SelfExtractor::WritePackageInto(CFile& output, PackageProgressCallback callback,
                                              uintptr_t userData) {
    if (m_entryCount < 1) return SFX_ERR_NO_ENTRIES;
    const PackageResult result = WriteEntries(output, callback, userData);
    return result == SFX_WRITE_DONE ? SFX_OK : result;
}

PackageResult SelfExtractor::WriteEntries(CFile& output, PackageProgressCallback callback,
                                          uintptr_t userData) {
    if (m_entryCount < 1 || m_entryCount > kMaxEntries) return SFX_ERR_NO_ENTRIES;
    for (int32_t i = 0; i < m_entryCount; ++i) {
        // Entries set by hand bypass AddFile; never write a table the reader refuses.
        if (!IsValidEntryName(m_entries[i].name)) return SFX_ERR_WRITE;
    }
    for (int32_t i = 0; i < m_entryCount; ++i) {
        PackageEntry& e = m_entries[i];
        CFile source;
        if (!source.Open(e.sourcePath.c_str(), CFile::accessRead | CFile::shareAllowAll)) {
            return SFX_ERR_OPEN_SOURCE;
        }
        const PackageResult result = DeflateEntry(source, output, e, callback, userData);
        source.Abort();
        if (result != SFX_OK) return result;
        if (callback != nullptr) callback(SFX_EVENT_END, &e.name, userData);
    }
    return WriteTableAndTrailer(output);
}

PackageResult SelfExtractor::DeflateEntry(CFile& source, CFile& output, PackageEntry& e,
                                          PackageProgressCallback callback, uintptr_t userData) {
    try {
        if (callback != nullptr) callback(SFX_EVENT_BEGIN, &e.name, userData);
        const uint32_t offset = output.GetPosition();
        if (offset > kMaxPackageLength) return SFX_ERR_WRITE;
        e.offset = offset;
        ResetStreamBuffers();
        const uint32_t length = source.GetLength();
        m_progressTotal = static_cast<int32_t>(length);
        // The recorded size must be what the stream holds, or the reader refuses it.
        if (length != e.size) return SFX_ERR_OPEN_SOURCE;
        if (deflateInit(this, 6) != Z_OK) return SFX_ERR_WRITE;
        ZStreamScope<deflateEnd> scope(this);

        uint64_t end = offset;
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
            if (total_in + avail_in > e.size) return SFX_ERR_OPEN_SOURCE;
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
        if (total_in != e.size) return SFX_ERR_OPEN_SOURCE;
        e.compressedSize = static_cast<uint32_t>(total_out);
        return SFX_OK;
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        return SFX_ERR_WRITE;
    } catch (const std::bad_alloc&) {
        return SFX_ERR_WRITE;
    }
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
