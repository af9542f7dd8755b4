// libFuzzer target: arbitrary bytes as the file that holds a package, read by the
// table-of-contents procedure from memory.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "package/MemoryFile.h"
#include "package/PackageEntry.h"
#include "package/PackageFormat.h"
#include "package/reader/TableOfContents.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryFile file(data, size);
    std::vector<PackageEntry> table(kMaxEntries);
    int32_t count = -1;
    TocLocation where;
    const int32_t result = ReadTableOfContentsFrom(file, table.data(), &count, &where);
    switch (result) {
        case SFX_OK:
            if (count < 1 || count > kMaxEntries) std::abort();
            for (int32_t i = 0; i < count; ++i) {
                if (table[i].name.GetLength() > static_cast<size_t>(kMaxNameLength)) std::abort();
            }
            if (where.markerDistance < kMarkerLength || where.markerDistance > size) std::abort();
            break;
        case SFX_ERR_BAD_PACKAGE:
        case SFX_ERR_NO_ENTRIES:
            if (result == SFX_ERR_NO_ENTRIES && count != 0) std::abort();
            break;
        default:
            std::abort();
    }
    // The search never reads more windows than the file holds, plus the failing one.
    if (where.windowCount > size / kSearchStep + 2) std::abort();
    return 0;
}
