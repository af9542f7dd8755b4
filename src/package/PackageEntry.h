// One entry of the table of contents in memory. A plain copyable record: copies
// share their string bodies.
#pragma once

#include <cstdint>

#include "base/WideString.h"

class PackageEntry {
public:
    WideString GetName() const { return name; }
    // Empties name and source path and sets size to 0.
    void Reset();
    // Writing side: takes name (the part after the last separator), source path and
    // size from the file at path. False when it cannot be opened or measured.
    bool SetFromFile(const WideString& path);

    WideString name;
    WideString sourcePath;  // set only by the writer
    uint32_t size = 0;
    uint32_t compressedSize = 0;
    uint32_t offset = 0;
};
