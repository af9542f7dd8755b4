// Writing side of PackageEntry: kept out of the reading library.
#include <memory>

#include "base/Path.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "package/PackageEntry.h"
#include "package/reader/EntryName.h"

bool PackageEntry::SetFromFile(const WideString& path) {
    CFile file;
    if (!file.Open(path.c_str(), CFile::accessRead | CFile::shareCompat)) return false;
    uint32_t length = 0;
    try {
        length = file.GetLength();
        file.Close();
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
        file.Abort();
        return false;
    }
    size = length;
    sourcePath = path;
    name = BaseName(path);
    return true;
}
