// Removes a file that a failed operation left behind. A failure to remove it is
// not worth more than the failure already being reported, so it is dropped.
#pragma once

#include "base/WideString.h"
#include "file/CFile.h"
#include "file/CatchFileError.h"

inline void RemoveQuietly(const WideString& path) {
    CatchFileError([&] { CFile::Remove(path.c_str()); });
}
