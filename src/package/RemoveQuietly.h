// Removes a file that a failed operation left behind. A failure to remove it is
// not worth more than the failure already being reported, so it is dropped.
#pragma once

#include <memory>

#include "base/WideString.h"
#include "file/CFile.h"
#include "file/CFileException.h"

inline void RemoveQuietly(const WideString& path) {
    try {
        CFile::Remove(path.c_str());
    } catch (CFileException* error) {
        std::unique_ptr<CFileException> owner(error);
    }
}
