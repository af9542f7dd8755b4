// Why a package operation failed when a file did: the file, whether it was being
// read or written, and the system's own error. A result code says what could not be
// done; this says where and why, for a caller that tells a person (the packer). The
// operation that met the failure fills it in, on whatever thread it met it. A file
// that changed while it was read is named with no side: no system call failed.
#pragma once

#include <cstdint>

#include "base/WideString.h"
#include "file/CFileException.h"

struct FileFailure {
    enum Side : int32_t { kNone, kRead, kWrite };

    FileFailure() = default;
    FileFailure(Side side, const WideString& file, const CFileException& error)
        : side(side), file(file), cause(error.m_cause), osError(error.m_osError) {}

    // True when the system refused a read or a write.
    bool Failed() const { return side != kNone; }

    Side side = kNone;
    WideString file;                       // as the caller named it; empty when the caller alone knows it
    int32_t cause = CFileException::none;  // the file layer's cause
    int32_t osError = -1;  // errno (POSIX) or GetLastError (Windows); -1 when the system gave none
};
