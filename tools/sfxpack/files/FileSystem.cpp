#include "tools/sfxpack/files/FileSystem.h"

#include "base/Utf8.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "tools/sfxpack/cli/ExitStatus.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>

#include <cstdio>
#endif

bool OpenForReading(const WideString& path, CFile& file, std::string* why) {
    if (IsDirectory(path)) {
        *why = "is a folder";
        return false;
    }
#ifndef _WIN32
    // Opening a FIFO for reading waits for a writer, and a device never ends: only a
    // regular file is a package, a stub or an input.
    struct stat info;
    if (stat(Utf8FromWide(path).c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        *why = "not a regular file (a FIFO, socket or device)";
        return false;
    }
#endif
    CFileException error;
    if (file.Open(path.c_str(), CFile::accessRead | CFile::shareAllowAll, &error)) return true;
    *why = ResultWords(SFX_ERR_OPEN_SOURCE, FileFailure(FileFailure::kRead, path, error));
    return false;
}

#ifdef _WIN32

bool IsDirectory(const WideString& path) {
    const DWORD attributes = GetFileAttributesW(path.w_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

namespace {
bool Identify(const WideString& path, BY_HANDLE_FILE_INFORMATION* info, DWORD flags = 0) {
    HANDLE file = CreateFileW(path.w_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(file, info) != 0;
    CloseHandle(file);
    return ok;
}

bool Same(const BY_HANDLE_FILE_INFORMATION& x, const BY_HANDLE_FILE_INFORMATION& y) {
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
           x.nFileIndexLow == y.nFileIndexLow;
}
}  // namespace

bool SameFile(const WideString& a, const WideString& b) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return Identify(a, &x) && Identify(b, &y) && Same(x, y);
}

bool IsNameOf(const WideString& name, const WideString& path) {
    BY_HANDLE_FILE_INFORMATION x, y;
    return Identify(name, &x, FILE_FLAG_OPEN_REPARSE_POINT) && Identify(path, &y) && Same(x, y);
}

bool PathExistsNoFollow(const WideString& path) {
    return GetFileAttributesW(path.w_str()) != INVALID_FILE_ATTRIBUTES;
}

bool SizeOf(const WideString& path, uint64_t* size) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.w_str(), GetFileExInfoStandard, &data)) return false;
    *size = (uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
    return true;
}

bool MoveIntoPlace(const WideString& from, const WideString& to) {
    // Windows refuses to replace a file that anyone has open, even for a moment (a
    // virus scanner, an indexer, another sfxpack looking at the name), so a refusal
    // is worth a few more tries before it counts.
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.w_str(), to.w_str(), MOVEFILE_REPLACE_EXISTING)) return true;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == 40) return false;
        Sleep(50);
    }
}

#else

bool IsDirectory(const WideString& path) {
    struct stat info;
    return stat(Utf8FromWide(path).c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool SameFile(const WideString& a, const WideString& b) {
    struct stat x, y;
    return stat(Utf8FromWide(a).c_str(), &x) == 0 && stat(Utf8FromWide(b).c_str(), &y) == 0 &&
           x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

bool MoveIntoPlace(const WideString& from, const WideString& to) {
    return std::rename(Utf8FromWide(from).c_str(), Utf8FromWide(to).c_str()) == 0;
}

bool IsNameOf(const WideString& name, const WideString& path) {
    struct stat x, y;
    return lstat(Utf8FromWide(name).c_str(), &x) == 0 && stat(Utf8FromWide(path).c_str(), &y) == 0 &&
           x.st_dev == y.st_dev && x.st_ino == y.st_ino;
}

bool PathExistsNoFollow(const WideString& path) {
    struct stat info;
    return lstat(Utf8FromWide(path).c_str(), &info) == 0;
}

bool SizeOf(const WideString& path, uint64_t* size) {
    struct stat info;
    if (stat(Utf8FromWide(path).c_str(), &info) != 0) return false;
    *size = static_cast<uint64_t>(info.st_size);
    return true;
}

#endif
