#include <windows.h>

#include "file/CFile.h"
#include "package/writer/FileIdentity.h"

bool IsRegularFile(CFile& file) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileType(file.m_hFile) == FILE_TYPE_DISK && GetFileInformationByHandle(file.m_hFile, &info) &&
           !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSameFile(CFile& a, CFile& b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return GetFileInformationByHandle(a.m_hFile, &x) && GetFileInformationByHandle(b.m_hFile, &y) &&
           x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}
