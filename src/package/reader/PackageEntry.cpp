#include "package/PackageEntry.h"

void PackageEntry::Reset() {
    name.Empty();
    sourcePath.Empty();
    size = 0;
}
