#include <cerrno>

#include "file/CFileException.h"

namespace {

struct ErrnoCause {
    int error;
    int32_t cause;
};

// errno values and the cause Windows gives for the same failure; every other value is generic.
// EINVAL stays generic here: the seek code reports its own EINVAL (a position before the
// start) as a bad seek.
constexpr ErrnoCause kErrnoCauses[] = {
    {0, CFileException::none},
    {ENOENT, CFileException::fileNotFound},
    {ENXIO, CFileException::fileNotFound},
    {ENOTDIR, CFileException::badPath},
    {ENAMETOOLONG, CFileException::badPath},
    {ELOOP, CFileException::badPath},
    {EXDEV, CFileException::badPath},   // as ERROR_NOT_SAME_DEVICE
    {ENODEV, CFileException::badPath},  // as ERROR_DEV_NOT_EXIST
    {EMFILE, CFileException::tooManyOpenFiles},
    {ENFILE, CFileException::tooManyOpenFiles},
    {EACCES, CFileException::accessDenied},
    {EPERM, CFileException::accessDenied},
    {EROFS, CFileException::accessDenied},          // as ERROR_WRITE_PROTECT
    {EEXIST, CFileException::accessDenied},         // as ERROR_ALREADY_EXISTS
    {EISDIR, CFileException::accessDenied},         // Windows refuses to open a folder as a file
    {EBADF, CFileException::accessDenied},          // mostly a descriptor without the access asked for
    {ENOEXEC, CFileException::invalidFile},         // as ERROR_BAD_EXE_FORMAT
    {ENOTEMPTY, CFileException::removeCurrentDir},  // as ERROR_DIR_NOT_EMPTY
    {EMLINK, CFileException::directoryFull},
    {ESPIPE, CFileException::badSeek},     // as ERROR_SEEK_ON_DEVICE
    {EOVERFLOW, CFileException::badSeek},  // a position beyond what 32 bits hold
    {EIO, CFileException::hardIO},
    {EINTR, CFileException::hardIO},  // as ERROR_OPERATION_ABORTED
    {EBUSY, CFileException::sharingViolation},
    {ETXTBSY, CFileException::sharingViolation},
    {EAGAIN, CFileException::lockViolation},  // a lock held by someone else
    {EDEADLK, CFileException::lockViolation},
    {ENOLCK, CFileException::lockViolation},
    {ENOSPC, CFileException::diskFull},
    {EDQUOT, CFileException::diskFull},
    {EFBIG, CFileException::diskFull},  // the file size limit is reached
};

}  // namespace

int32_t ErrnoToCause(int32_t error) {
    for (const ErrnoCause& row : kErrnoCauses) {
        if (row.error == error) return row.cause;
    }
    return CFileException::genericException;
}
