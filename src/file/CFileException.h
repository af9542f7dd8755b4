// Failure of a CFile operation. Thrown as a pointer to a heap object; the handler
// that catches the pointer owns (and deletes) it.
#pragma once

#include <cstdint>

#include "base/WideString.h"

class CFileException {
public:
    enum Cause : int32_t {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    explicit CFileException(int32_t cause = none, int32_t osError = -1, const char16_t* fileName = nullptr);
    virtual ~CFileException();

    // "Cause: %d, File Name: %s" (name or "Unknown File"), cut to capacity units
    // including the terminating zero. Always true.
    virtual bool GetErrorMessage(char16_t* buffer, unsigned capacity, unsigned* helpContext = nullptr) const;

    int32_t m_cause;
    int32_t m_osError;  // the operating system's error code, or -1
    WideString m_fileName;
};

// Windows error code -> cause (the whole table; every unlisted code is generic).
int32_t OsErrorToCause(int32_t osError);
// POSIX errno -> the same causes (host backend).
int32_t ErrnoToCause(int32_t error);

// Creates a CFileException on the heap and throws a pointer to it.
[[noreturn]] void ThrowFileException(int32_t cause, int32_t osError, const char16_t* fileName);
// Throws with the cause of the platform's error code (Windows error or errno);
// returns without throwing when the error is 0.
void ThrowOsError(int32_t osError, const char16_t* fileName);
