#include <sys/stat.h>

#include "file/CFile.h"
#include "package/writer/FileIdentity.h"

bool IsRegularFile(CFile& file) {
    struct stat info;
    return fstat(static_cast<int>(file.m_hFile), &info) == 0 && S_ISREG(info.st_mode);
}

bool IsSameFile(CFile& a, CFile& b) {
    struct stat x, y;
    return fstat(static_cast<int>(a.m_hFile), &x) == 0 && fstat(static_cast<int>(b.m_hFile), &y) == 0 &&
           x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}
