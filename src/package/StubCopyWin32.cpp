#include <windows.h>

#include "package/StubCopy.h"

bool CopyStubFile(const WideString& from, const WideString& to) {
    // CopyFileW fails on a file copied onto itself and cleans up after itself.
    if (!CopyFileW(from.w_str(), to.w_str(), FALSE)) return false;
    // It also copies a read-only attribute, which would keep the writer out and the
    // failed package from being removed.
    const DWORD attributes = GetFileAttributesW(to.w_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_READONLY)) return true;
    if (SetFileAttributesW(to.w_str(), attributes & ~FILE_ATTRIBUTE_READONLY)) return true;
    DeleteFileW(to.w_str());
    return false;
}
