// What the file tests share: catching the heap exception and the platform's error codes
// for the same failures.
#pragma once

#include <memory>

#ifndef _WIN32
#include <cerrno>
#endif

#include "file/CFile.h"
#include "file/CFileException.h"

// Runs the action; returns the CFileException it threw (now owned) or null.
template <typename Action>
std::unique_ptr<CFileException> Caught(Action action) {
    try {
        action();
    } catch (CFileException* error) {
        return std::unique_ptr<CFileException>(error);
    }
    return nullptr;
}

#ifdef _WIN32
constexpr int32_t kErrorNotFound = 2;        // ERROR_FILE_NOT_FOUND
constexpr int32_t kErrorNegativeSeek = 131;  // ERROR_NEGATIVE_SEEK
constexpr int32_t kErrorDiskFull = 112;      // ERROR_DISK_FULL
constexpr int32_t kErrorNoAccess = 5;        // ERROR_ACCESS_DENIED
constexpr int32_t kErrorExists = 183;        // ERROR_ALREADY_EXISTS
// Wine maps drive Z: to the Unix root, so this is Linux's always-full device.
constexpr const char16_t* kFullDevice = u"Z:\\dev\\full";
// A handle value no object stands behind.
inline CFile::Handle BogusHandle() {
    return reinterpret_cast<CFile::Handle>(static_cast<intptr_t>(0x3FFFFFFC));
}
#else
constexpr int32_t kErrorNotFound = ENOENT;
constexpr int32_t kErrorNegativeSeek = EINVAL;
constexpr int32_t kErrorDiskFull = ENOSPC;
constexpr int32_t kErrorNoAccess = EBADF;  // a descriptor opened without that access
constexpr int32_t kErrorExists = EEXIST;
constexpr const char16_t* kFullDevice = u"/dev/full";
// Above the kernel's highest possible descriptor number.
inline CFile::Handle BogusHandle() {
    return static_cast<CFile::Handle>(1) << 30;
}
#endif
