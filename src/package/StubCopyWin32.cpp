#include <windows.h>

#include "package/StubCopy.h"

bool CopyStubFile(const WideString& from, const WideString& to) {
    // CopyFileW fails on a file copied onto itself and cleans up after itself.
    return CopyFileW(from.w_str(), to.w_str(), FALSE) != 0;
}
