// Finds the trailer by searching backwards from the end of the package file and
// decodes the entry records into a 256-slot table.
#pragma once

#include <cstdint>

#include "package/PackageResult.h"

class CFile;
struct FileFailure;
class PackageEntry;

struct TocLocation {
    uint32_t markerDistance = 0;  // from the marker's first byte to the end of the file
    uint32_t windowCount = 0;     // 512-byte windows read until the marker was found
};

// Reads the table of contents of the open package file into entries[0..255].
// Returns SFX_OK, SFX_ERR_BAD_PACKAGE (no marker, wrong marker or version, a count
// outside 0..256 or a name length outside 0..255, a record table that runs past the
// start of the file, any file-layer failure) or SFX_ERR_NO_ENTRIES (count 0).
// *entryCount is set the moment a valid count is read and is 0 otherwise. Never
// throws; never writes past the table or the name buffer; the search always ends.
// A read that failed, unlike a seek before the start that ends the search, is told
// in *failure when one is given: side kRead, the cause and the system's error (the
// file's name is the caller's to give).
PackageResult ReadTableOfContentsFrom(CFile& package, PackageEntry* entries, int32_t* entryCount,
                                      TocLocation* location = nullptr,
                                      FileFailure* failure = nullptr) noexcept;
