// Why a package operation failed when a file did: the file, whether it was being
// read or written, and the system's own error; or, where no system call failed, the
// limit that stopped it (a package reaching 2 GiB, memory running out). A result code
// says what could not be done; this says where and why, for a caller that tells a
// person (the packer). The operation that met the failure fills it in, on whatever
// thread it met it. A file that changed while it was read is named with no side: no
// system call failed.
#pragma once

#include <cstdint>
#include <type_traits>

#include "base/WideString.h"
#include "file/CFileException.h"

struct FileFailure {
    enum Side : int32_t { kNone, kRead, kWrite };
    enum Limit : int32_t { kNoLimit, kTooLong, kNoMemory };

    FileFailure() = default;
    FileFailure(Side side, const WideString& file, const CFileException& error)
        : side(side), file(file), cause(error.m_cause), osError(error.m_osError) {}
    // A limit reached; file is the output it concerns, if any.
    static FileFailure Reached(Limit limit, const WideString& file = WideString()) {
        FileFailure failure;
        failure.limit = limit;
        failure.file = file;
        return failure;
    }

    // True when the system refused a read or a write.
    bool Failed() const { return side != kNone; }

    // Runs call, calls into the file layer that read file (kRead) or write it
    // (kWrite). When one throws, keeps the side, file, cause and system error here and
    // answers false. The one way the package layer and the packer record which side
    // of a copy failed: each call says its side where it is made.
    template <typename Call>
    bool Catch(Side failedSide, const WideString& failedFile, Call&& call) {
        // One handler for every call, in CatchCall: the installer links this path, and
        // a handler per call site would cost it kilobytes.
        return CatchCall(failedSide, failedFile, &Run<std::remove_reference_t<Call>>,
                         const_cast<void*>(static_cast<const void*>(&call)));
    }

    // Catch's handler, and how it runs the call it is given.
    bool CatchCall(Side failedSide, const WideString& failedFile, void (*run)(void*), void* call);
    template <typename Call>
    static void Run(void* call) {
        (*static_cast<Call*>(call))();
    }

    Side side = kNone;
    WideString file;                       // as the caller named it; empty when the caller alone knows it
    int32_t cause = CFileException::none;  // the file layer's cause
    int32_t osError = -1;  // errno (POSIX) or GetLastError (Windows); -1 when the system gave none
    Limit limit = kNoLimit;
};
