#include "file/CFileException.h"

namespace {

struct OsErrorCause {
    int32_t osError;
    int32_t cause;
};

// Windows error codes and the cause each stands for; every other code is generic.
constexpr OsErrorCause kOsErrorCauses[] = {
    {0, CFileException::none},
    {2, CFileException::fileNotFound},        // ERROR_FILE_NOT_FOUND
    {6, CFileException::fileNotFound},        // ERROR_INVALID_HANDLE
    {18, CFileException::fileNotFound},       // ERROR_NO_MORE_FILES
    {107, CFileException::fileNotFound},      // ERROR_DISK_CHANGE
    {3, CFileException::badPath},             // ERROR_PATH_NOT_FOUND
    {15, CFileException::badPath},            // ERROR_INVALID_DRIVE
    {17, CFileException::badPath},            // ERROR_NOT_SAME_DEVICE
    {34, CFileException::badPath},            // ERROR_WRONG_DISK
    {52, CFileException::badPath},            // ERROR_DUP_NAME
    {53, CFileException::badPath},            // ERROR_BAD_NETPATH
    {55, CFileException::badPath},            // ERROR_DEV_NOT_EXIST
    {67, CFileException::badPath},            // ERROR_BAD_NET_NAME
    {70, CFileException::badPath},            // ERROR_SHARING_PAUSED
    {85, CFileException::badPath},            // ERROR_ALREADY_ASSIGNED
    {111, CFileException::badPath},           // ERROR_BUFFER_OVERFLOW
    {123, CFileException::badPath},           // ERROR_INVALID_NAME
    {124, CFileException::badPath},           // ERROR_INVALID_LEVEL
    {125, CFileException::badPath},           // ERROR_NO_VOLUME_LABEL
    {144, CFileException::badPath},           // ERROR_DIR_NOT_ROOT
    {154, CFileException::badPath},           // ERROR_LABEL_TOO_LONG
    {161, CFileException::badPath},           // ERROR_BAD_PATHNAME
    {206, CFileException::badPath},           // ERROR_FILENAME_EXCED_RANGE
    {208, CFileException::badPath},           // ERROR_META_EXPANSION_TOO_LONG
    {267, CFileException::badPath},           // ERROR_DIRECTORY
    {4, CFileException::tooManyOpenFiles},    // ERROR_TOO_MANY_OPEN_FILES
    {36, CFileException::tooManyOpenFiles},   // ERROR_SHARING_BUFFER_EXCEEDED
    {68, CFileException::tooManyOpenFiles},   // ERROR_TOO_MANY_NAMES
    {113, CFileException::tooManyOpenFiles},  // ERROR_NO_MORE_SEARCH_HANDLES
    {5, CFileException::accessDenied},        // ERROR_ACCESS_DENIED
    {12, CFileException::accessDenied},       // ERROR_INVALID_ACCESS
    {19, CFileException::accessDenied},       // ERROR_WRITE_PROTECT
    {29, CFileException::accessDenied},       // ERROR_WRITE_FAULT
    {54, CFileException::accessDenied},       // ERROR_NETWORK_BUSY
    {58, CFileException::accessDenied},       // ERROR_BAD_NET_RESP
    {64, CFileException::accessDenied},       // ERROR_NETNAME_DELETED
    {65, CFileException::accessDenied},       // ERROR_NETWORK_ACCESS_DENIED
    {71, CFileException::accessDenied},       // ERROR_REQ_NOT_ACCEP
    {80, CFileException::accessDenied},       // ERROR_FILE_EXISTS
    {82, CFileException::accessDenied},       // ERROR_CANNOT_MAKE
    {86, CFileException::accessDenied},       // ERROR_INVALID_PASSWORD
    {170, CFileException::accessDenied},      // ERROR_BUSY
    {183, CFileException::accessDenied},      // ERROR_ALREADY_EXISTS
    {999, CFileException::accessDenied},      // ERROR_SWAPERROR
    {11, CFileException::invalidFile},        // ERROR_BAD_FORMAT
    {26, CFileException::invalidFile},        // ERROR_NOT_DOS_DISK
    {60, CFileException::invalidFile},        // ERROR_BAD_REM_ADAP
    {66, CFileException::invalidFile},        // ERROR_BAD_DEV_TYPE
    {114, CFileException::invalidFile},       // ERROR_INVALID_TARGET_HANDLE
    {182, CFileException::invalidFile},       // ERROR_INVALID_ORDINAL
    {191, CFileException::invalidFile},       // ERROR_INVALID_EXE_SIGNATURE
    {193, CFileException::invalidFile},       // ERROR_BAD_EXE_FORMAT
    {16, CFileException::removeCurrentDir},   // ERROR_CURRENT_DIRECTORY
    {145, CFileException::removeCurrentDir},  // ERROR_DIR_NOT_EMPTY
    {62, CFileException::directoryFull},      // ERROR_NO_SPOOL_SPACE
    {24, CFileException::badSeek},            // ERROR_BAD_LENGTH
    {25, CFileException::badSeek},            // ERROR_SEEK
    {27, CFileException::badSeek},            // ERROR_SECTOR_NOT_FOUND
    {30, CFileException::badSeek},            // ERROR_READ_FAULT
    {131, CFileException::badSeek},           // ERROR_NEGATIVE_SEEK
    {132, CFileException::badSeek},           // ERROR_SEEK_ON_DEVICE
    {20, CFileException::hardIO},             // ERROR_BAD_UNIT
    {21, CFileException::hardIO},             // ERROR_NOT_READY
    {22, CFileException::hardIO},             // ERROR_BAD_COMMAND
    {23, CFileException::hardIO},             // ERROR_CRC
    {57, CFileException::hardIO},             // ERROR_ADAP_HDW_ERR
    {59, CFileException::hardIO},             // ERROR_UNEXP_NET_ERR
    {88, CFileException::hardIO},             // ERROR_NET_WRITE_FAULT
    {117, CFileException::hardIO},            // ERROR_INVALID_CATEGORY
    {995, CFileException::hardIO},            // ERROR_OPERATION_ABORTED
    {996, CFileException::hardIO},            // ERROR_IO_INCOMPLETE
    {997, CFileException::hardIO},            // ERROR_IO_PENDING
    {32, CFileException::sharingViolation},   // ERROR_SHARING_VIOLATION
    {33, CFileException::lockViolation},      // ERROR_LOCK_VIOLATION
    {108, CFileException::lockViolation},     // ERROR_DRIVE_LOCKED
    {167, CFileException::lockViolation},     // ERROR_LOCK_FAILED
    {39, CFileException::diskFull},           // ERROR_HANDLE_DISK_FULL
    {112, CFileException::diskFull},          // ERROR_DISK_FULL
    {38, CFileException::endOfFile},          // ERROR_HANDLE_EOF
};

}  // namespace

int32_t OsErrorToCause(int32_t osError) {
    for (const OsErrorCause& row : kOsErrorCauses) {
        if (row.osError == osError) return row.cause;
    }
    return CFileException::genericException;
}
