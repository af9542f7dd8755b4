#include "package/reader/TableOfContents.h"

#include <cstring>
#include <memory>
#include <new>

#include "base/LittleEndian.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "file/CatchFileError.h"
#include "package/FileFailure.h"
#include "package/PackageEntry.h"
#include "package/PackageFormat.h"
#include "package/reader/FindBytes.h"

namespace {

// Every read of the table search: `count` bytes at `distance` bytes before the end.
// False for a distance that a signed 32-bit seek cannot express, a seek before the
// start of the file (where the search ends) or a short read; a read that fails
// throws from the file layer: the file cannot be read, which is no missing package.
bool ReadFromEnd(CFile& file, uint64_t distance, void* buffer, uint32_t count) {
    if (distance > kMaxPackageLength) return false;
    if (CatchFileError([&] { file.Seek(-static_cast<int32_t>(distance), CFile::end); }) !=
        CFileException::none) {
        return false;
    }
    return file.Read(buffer, count) == count;
}

bool ReadLe32FromEnd(CFile& file, uint64_t distance, uint32_t* value) {
    uint8_t bytes[4];
    if (!ReadFromEnd(file, distance, bytes, sizeof bytes)) return false;
    *value = LoadLe32(bytes);
    return true;
}

// Searches 512-byte windows backwards from the end, each 502 bytes further back, so a
// marker straddling two windows lies wholly in the later one; the first window with a
// marker wins. Returns the marker's distance from the end, or 0 when the search reaches
// the start of the file.
uint32_t FindMarker(CFile& file, uint32_t* windowCount) {
    uint8_t window[kSearchWindow];
    for (uint64_t w = kSearchWindow; w <= kMaxPackageLength; w += kSearchStep) {
        ++*windowCount;
        if (!ReadFromEnd(file, w, window, sizeof window)) return 0;
        const ptrdiff_t match = FindBytes(window, sizeof window, kPackageMarker, kMarkerLength);
        if (match >= 0) return static_cast<uint32_t>(w - static_cast<uint64_t>(match));
    }
    return 0;
}

PackageResult ReadRecords(CFile& file, uint64_t p, int32_t count, PackageEntry* entries) {
    char16_t name[kMaxNameLength + 1];
    uint8_t raw[2 * kMaxNameLength];
    for (int32_t n = count - 1; n >= 0; --n) {
        uint32_t nameLength = 0;
        p += 4;
        if (!ReadLe32FromEnd(file, p, &nameLength)) return SFX_ERR_BAD_PACKAGE;
        // Signed in the format: a negative value is huge here, and rejected alike.
        if (nameLength > static_cast<uint32_t>(kMaxNameLength)) return SFX_ERR_BAD_PACKAGE;
        p += 2 * static_cast<uint64_t>(nameLength);
        std::memset(name, 0, sizeof name);
        if (nameLength > 0 && !ReadFromEnd(file, p, raw, 2 * nameLength)) return SFX_ERR_BAD_PACKAGE;
        size_t length = 0;
        for (uint32_t i = 0; i < nameLength; ++i) {
            name[i] = static_cast<char16_t>(LoadLe16(raw + 2 * i));
        }
        while (length < nameLength && name[length] != 0) ++length;

        PackageEntry& entry = entries[n];
        if (!ReadLe32FromEnd(file, p + 4, &entry.compressedSize) ||
            !ReadLe32FromEnd(file, p + 8, &entry.size)) {
            return SFX_ERR_BAD_PACKAGE;
        }
        p += 12;
        if (!ReadLe32FromEnd(file, p, &entry.offset)) return SFX_ERR_BAD_PACKAGE;
        entry.name = WideString(name, length);
        entry.sourcePath.Empty();
    }
    return SFX_OK;
}

PackageResult ReadToc(CFile& file, PackageEntry* entries, int32_t* entryCount, TocLocation* location) {
    const uint32_t d = FindMarker(file, &location->windowCount);
    location->markerDistance = d;
    if (d == 0) return SFX_ERR_BAD_PACKAGE;

    uint8_t marker[kMarkerLength];
    if (!ReadFromEnd(file, d, marker, sizeof marker) ||
        std::memcmp(marker, kPackageMarker, sizeof marker) != 0) {
        return SFX_ERR_BAD_PACKAGE;
    }
    uint8_t version[sizeof kPackageVersion];
    if (!ReadFromEnd(file, uint64_t{d} + 4, version, sizeof version) ||
        std::memcmp(version, kPackageVersion, sizeof version) != 0) {
        return SFX_ERR_BAD_PACKAGE;
    }
    uint32_t count = 0;
    if (!ReadLe32FromEnd(file, uint64_t{d} + 8, &count)) return SFX_ERR_BAD_PACKAGE;
    if (count == 0) return SFX_ERR_NO_ENTRIES;
    // Signed in the format: negative counts land above the limit too.
    if (count > static_cast<uint32_t>(kMaxEntries)) return SFX_ERR_BAD_PACKAGE;
    *entryCount = static_cast<int32_t>(count);
    return ReadRecords(file, uint64_t{d} + 8, static_cast<int32_t>(count), entries);
}

}  // namespace

PackageResult ReadTableOfContentsFrom(CFile& package, PackageEntry* entries, int32_t* entryCount,
                                      TocLocation* location, FileFailure* failure) noexcept {
    *entryCount = 0;
    TocLocation unused;
    if (location == nullptr) location = &unused;
    *location = TocLocation();
    // Every call here reads: a failure is the package's, on the read side.
    try {
        return ReadToc(package, entries, entryCount, location);
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        if (failure != nullptr) *failure = FileFailure(FileFailure::kRead, WideString(), *error);
    } catch (...) {
        // Out of memory for a name: the table is as unusable as a damaged one.
    }
    return SFX_ERR_BAD_PACKAGE;
}
