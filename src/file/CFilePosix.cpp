// The POSIX backend of CFile: one file descriptor, with the Win32 backend's semantics.
// Paths are handed to the system as UTF-8; m_osError holds errno.
// Where POSIX has no counterpart:
// - The share field has no meaning: POSIX does not refuse a second open.
// - Access value 3 (no read or write access) opens an O_PATH descriptor.
// - Locks are open-file-description locks, so they conflict between two CFile objects
//   of one process as Windows locks do, but they are advisory; unlocking a range that
//   is not locked succeeds; a lock of zero bytes locks nothing.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "base/Utf8.h"
#include "file/CFile.h"
#include "file/CFileException.h"

namespace {

std::string PathBytes(const char16_t* path) {
    return Utf8FromWide(WideString(path));
}

int AccessFlags(uint32_t flags) {
    switch (flags & 0x3) {
        case CFile::accessRead:
            return O_RDONLY;
        case CFile::accessWrite:
            return O_WRONLY;
        case CFile::accessReadWrite:
            return O_RDWR;
        default:
            return O_PATH;
    }
}

int CreationFlags(uint32_t flags) {
    if (flags & CFile::createNew) return O_CREAT | O_EXCL | O_NOFOLLOW;
    if (!(flags & CFile::create)) return 0;
    return (flags & CFile::noTruncate) ? O_CREAT : O_CREAT | O_TRUNC;
}

// Windows cannot open a folder as a file; an fd on one would only fail later.
int OpenFile(const std::string& path, uint32_t flags) {
    int osFlags = CreationFlags(flags) | ((flags & CFile::noInherit) ? O_CLOEXEC : 0);
    int access = AccessFlags(flags);
    int fd;
    if (access == O_PATH && osFlags & O_CREAT) {
        // O_PATH ignores O_CREAT and O_TRUNC: create (or truncate) first, as Windows does.
        do fd = open(path.c_str(), O_WRONLY | osFlags, 0666);
        while (fd < 0 && errno == EINTR);
        if (fd < 0) return -1;
        close(fd);
    }
    do fd = open(path.c_str(), access | osFlags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return -1;
    struct stat info;
    if (fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        close(fd);
        errno = EISDIR;
        return -1;
    }
    return fd;
}

int Fd(CFile::Handle handle) {
    return static_cast<int>(handle);
}

}  // namespace

const CFile::Handle CFile::hFileNull = -1;

bool CFile::Open(const char16_t* path, uint32_t flags, CFileException* error) {
    // An owned descriptor would otherwise be lost until the process ends.
    if (m_hFile != hFileNull && m_closeOnDelete) close(Fd(m_hFile));
    m_closeOnDelete = 0;
    m_hFile = hFileNull;
    m_fileName = path;
    // Bit 0x8000 asks for nothing this layer does (a file is bytes, never text); it is
    // dropped so that no mapping below mistakes it for a flag it knows.
    flags &= ~0x8000u;

    int fd = OpenFile(PathBytes(path), flags);
    if (fd < 0) {
        if (error != nullptr) {
            error->m_osError = errno;
            error->m_cause = ErrnoToCause(error->m_osError);
            error->m_fileName = path;
        }
        return false;
    }
    m_hFile = fd;
    m_closeOnDelete = 1;
    return true;
}

namespace {

off_t CurrentPosition(int fd) {
    off_t position = lseek(fd, 0, SEEK_CUR);
    if (position < 0) ThrowOsError(errno, nullptr);
    return position;
}

}  // namespace

uint32_t CFile::GetPosition() {
    return static_cast<uint32_t>(CurrentPosition(Fd(m_hFile)));
}

// Positions are 32-bit as in the Win32 backend. A seek before the start (EINVAL) or
// past 4 GiB fails and leaves the position where it was.
uint32_t CFile::Seek(int32_t distance, uint32_t origin) {
    int whence = SEEK_SET;
    if (origin == current)
        whence = SEEK_CUR;
    else if (origin == end)
        whence = SEEK_END;
    else if (origin != begin)
        ThrowFileException(CFileException::genericException, EINVAL, nullptr);
    const int fd = Fd(m_hFile);
    off_t before = CurrentPosition(fd);
    off_t position = lseek(fd, static_cast<off_t>(distance), whence);
    if (position < 0) {
        int error = errno;
        if (error == EINVAL) ThrowFileException(CFileException::badSeek, error, nullptr);
        ThrowOsError(error, nullptr);
    }
    if (position > static_cast<off_t>(0xFFFFFFFFu)) {
        lseek(fd, before, SEEK_SET);
        ThrowFileException(CFileException::badSeek, EOVERFLOW, nullptr);
    }
    return static_cast<uint32_t>(position);
}

void CFile::SetLength(uint32_t length) {
    Seek(static_cast<int32_t>(length), begin);
    int result;
    do result = ftruncate(Fd(m_hFile), static_cast<off_t>(length));
    while (result < 0 && errno == EINTR);
    if (result < 0) ThrowOsError(errno, nullptr);
}

// Fills the buffer unless the file ends first, as ReadFile does on a file.
uint32_t CFile::Read(void* buffer, uint32_t count) {
    if (count == 0) return 0;
    auto* bytes = static_cast<unsigned char*>(buffer);
    uint32_t total = 0;
    while (total < count) {
        ssize_t got = read(Fd(m_hFile), bytes + total, count - total);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) ThrowOsError(errno, nullptr);
        if (got == 0) break;
        total += static_cast<uint32_t>(got);
    }
    return total;
}

// Written in pieces the kernel takes whole; one that comes back short is a short write.
void CFile::Write(const void* buffer, uint32_t count) {
    if (count == 0) return;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    const uint32_t kPiece = 1u << 30;
    uint32_t total = 0;
    while (total < count) {
        uint32_t piece = count - total < kPiece ? count - total : kPiece;
        ssize_t written = write(Fd(m_hFile), bytes + total, piece);
        if (written < 0 && errno == EINTR) continue;
        if (written < 0) ThrowOsError(errno, m_fileName.c_str());
        if (static_cast<uint32_t>(written) < piece)
            ThrowFileException(CFileException::diskFull, -1, m_fileName.c_str());
        total += piece;
    }
}

namespace {

void SetLock(int fd, short type, uint32_t position, uint32_t count) {
    if (count == 0) return;  // to fcntl, a length of 0 means "to the end and beyond"
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = static_cast<off_t>(position);
    lock.l_len = static_cast<off_t>(count);
    if (fcntl(fd, F_OFD_SETLK, &lock) == 0) return;
    int error = errno;
    // A lock someone else holds: EAGAIN or EACCES, depending on the system.
    if (error == EACCES || error == EAGAIN) ThrowFileException(CFileException::lockViolation, error, nullptr);
    ThrowOsError(error, nullptr);
}

}  // namespace

void CFile::LockRange(uint32_t position, uint32_t count) {
    // A read lock on a descriptor without write access, as fcntl requires.
    int mode = fcntl(Fd(m_hFile), F_GETFL);
    if (mode < 0) ThrowOsError(errno, nullptr);
    SetLock(Fd(m_hFile), (mode & O_ACCMODE) == O_RDONLY ? F_RDLCK : F_WRLCK, position, count);
}

void CFile::UnlockRange(uint32_t position, uint32_t count) {
    SetLock(Fd(m_hFile), F_UNLCK, position, count);
}

void CFile::Abort() noexcept {
    if (m_hFile != hFileNull) {
        close(Fd(m_hFile));
        m_hFile = hFileNull;
    }
    m_fileName.Empty();
}

void CFile::Flush() {
    if (m_hFile == hFileNull) return;
    if (fsync(Fd(m_hFile)) < 0) ThrowOsError(errno, nullptr);
}

// The descriptor is gone after close() whatever it returns (Linux), so there is no retry.
void CFile::Close() {
    int32_t error = 0;
    if (m_hFile != hFileNull && close(Fd(m_hFile)) < 0) error = errno;
    m_hFile = hFileNull;
    m_closeOnDelete = 0;
    m_fileName.Empty();
    ThrowOsError(error, nullptr);
}

void CFile::Remove(const char16_t* path) {
    if (unlink(PathBytes(path).c_str()) < 0) ThrowOsError(errno, nullptr);
}

// As MoveFile: an existing target is not replaced.
void CFile::Rename(const char16_t* oldPath, const char16_t* newPath) {
    std::string from = PathBytes(oldPath);
    std::string to = PathBytes(newPath);
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    int error = errno;
    if (error == EINVAL || error == ENOSYS) {
        // A file system without RENAME_NOREPLACE: check, then rename.
        struct stat info;
        if (lstat(to.c_str(), &info) == 0) ThrowOsError(EEXIST, nullptr);
        if (rename(from.c_str(), to.c_str()) == 0) return;
        error = errno;
    }
    ThrowOsError(error, nullptr);
}
