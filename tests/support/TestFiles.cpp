#include "support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Utf8.h"

#ifdef _WIN32
#include <windows.h>
#include <winioctl.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

WideString Wide(const std::string& utf8) {
    return WideFromUtf8(utf8);
}
std::string Narrow(const WideString& wide) {
    return Utf8FromWide(wide);
}

WideString JoinPath(const WideString& folder, const WideString& name) {
#ifdef _WIN32
    return folder + u"\\" + name;
#else
    return folder + u"/" + name;
#endif
}

std::string LastSystemError() {
#ifdef _WIN32
    return "Windows error " + std::to_string(GetLastError());
#else
    return std::strerror(errno);
#endif
}

namespace {

[[noreturn]] void Fail(const CallSite& at, const char* what, const WideString& path,
                       const std::string& reason) {
    FailAt(at, std::string(what) + " " + Narrow(path) + ": " + reason);
}

// The names in the folder, or false with the system's reason left for LastError.
bool ListNames(const WideString& path, std::vector<std::string>& names) {
    names.clear();
#ifdef _WIN32
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + u"\\*").w_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return false;
    do {
        std::string name = Narrow(WideString(data.cFileName));
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
#else
    DIR* dir = opendir(Narrow(path).c_str());
    if (dir == nullptr) return false;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
#endif
    std::sort(names.begin(), names.end());
    return true;
}

#ifdef _WIN32
FILE* OpenFile(const WideString& path, bool write) {
    return _wfopen(path.w_str(), write ? L"wb" : L"rb");
}
#else
FILE* OpenFile(const WideString& path, bool write) {
    return std::fopen(Narrow(path).c_str(), write ? "wb" : "rb");
}

// Root may have set the immutable flag (MakeReadOnly); it binds root's unlink too.
void ClearImmutable(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return;
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_IMMUTABLE_FL)) {
        flags &= ~FS_IMMUTABLE_FL;
        ioctl(fd, FS_IOC_SETFLAGS, &flags);
    }
    close(fd);
}
#endif

// Best effort, depth first; what stays is found by the caller.
void RemoveAll(const WideString& path) {
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(path.w_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.w_str(), FILE_ATTRIBUTE_NORMAL);
    const bool folder = (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
#else
    const std::string narrow = Narrow(path);
    struct stat info;
    if (lstat(narrow.c_str(), &info) != 0) return;
    const bool folder = S_ISDIR(info.st_mode);
    if (folder) chmod(narrow.c_str(), 0700);
    if (S_ISREG(info.st_mode)) ClearImmutable(narrow);
#endif
    if (folder) {
        std::vector<std::string> names;
        if (ListNames(path, names))
            for (const std::string& name : names) RemoveAll(JoinPath(path, Wide(name)));
    }
#ifdef _WIN32
    if (folder)
        RemoveDirectoryW(path.w_str());
    else
        DeleteFileW(path.w_str());
#else
    if (folder)
        rmdir(narrow.c_str());
    else
        unlink(narrow.c_str());
#endif
}

}  // namespace

void WriteString(const WideString& path, const std::string& bytes, CallSite at) {
    FILE* file = OpenFile(path, true);
    if (file == nullptr) Fail(at, "cannot write", path, LastSystemError());
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    const bool whole = written == bytes.size();
    const std::string reason = whole ? std::string() : LastSystemError();
    if (std::fclose(file) != 0 && whole) Fail(at, "cannot finish writing", path, LastSystemError());
    if (!whole) Fail(at, "short write to", path, reason);
}

std::string ReadString(const WideString& path, CallSite at) {
    FILE* file = OpenFile(path, false);
    if (file == nullptr) Fail(at, "cannot read", path, LastSystemError());
    std::string bytes;
    char buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.append(buffer, got);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) Fail(at, "read failed on", path, "stream error");
    return bytes;
}

void WriteBytes(const WideString& path, const std::vector<uint8_t>& bytes, CallSite at) {
    WriteString(path, std::string(bytes.begin(), bytes.end()), at);
}

std::vector<uint8_t> ReadBytes(const WideString& path, CallSite at) {
    const std::string bytes = ReadString(path, at);
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

std::vector<std::string> ListFolder(const WideString& path, CallSite at) {
    std::vector<std::string> names;
    if (!ListNames(path, names)) Fail(at, "cannot list", path, LastSystemError());
    return names;
}

void RemoveTree(const WideString& path, CallSite at) {
    // A program the test started may hold a file a moment after it ended.
    for (int attempt = 0; attempt < 20 && PathExists(path); ++attempt) {
        if (attempt > 0) {
#ifdef _WIN32
            Sleep(100);
#else
            usleep(100 * 1000);
#endif
        }
        RemoveAll(path);
    }
    if (PathExists(path)) Fail(at, "cannot remove", path, "still there after removal");
}

#ifdef _WIN32

bool PathExists(const WideString& path) {
    return GetFileAttributesW(path.w_str()) != INVALID_FILE_ATTRIBUTES;
}

uint64_t FileSize(const WideString& path, CallSite at) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.w_str(), GetFileExInfoStandard, &data))
        Fail(at, "cannot measure", path, LastSystemError());
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void MakeFolder(const WideString& path, CallSite at) {
    if (!CreateDirectoryW(path.w_str(), nullptr)) Fail(at, "cannot create folder", path, LastSystemError());
}

bool MakeReadOnly(const WideString& path, CallSite at) {
    if (!SetFileAttributesW(path.w_str(), FILE_ATTRIBUTE_READONLY))
        Fail(at, "cannot make read-only", path, LastSystemError());
    // Wine run as root may let a writer in all the same: probe.
    HANDLE probe = CreateFileW(path.w_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return true;
    CloseHandle(probe);
    return false;
}

void MakeSparseFile(const WideString& path, uint64_t length, CallSite at) {
    HANDLE file =
        CreateFileW(path.w_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail(at, "cannot create", path, LastSystemError());
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(length);
    const bool ok = SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    const std::string reason = ok ? std::string() : LastSystemError();
    CloseHandle(file);
    if (!ok) Fail(at, "cannot size", path, reason);
}

#else

bool PathExists(const WideString& path) {
    struct stat info;
    return lstat(Narrow(path).c_str(), &info) == 0;
}

uint64_t FileSize(const WideString& path, CallSite at) {
    struct stat info;
    if (stat(Narrow(path).c_str(), &info) != 0) Fail(at, "cannot measure", path, LastSystemError());
    return static_cast<uint64_t>(info.st_size);
}

void MakeFolder(const WideString& path, CallSite at) {
    if (mkdir(Narrow(path).c_str(), 0755) != 0) Fail(at, "cannot create folder", path, LastSystemError());
}

bool MakeReadOnly(const WideString& path, CallSite at) {
    const std::string narrow = Narrow(path);
    if (chmod(narrow.c_str(), 0444) != 0) Fail(at, "cannot make read-only", path, LastSystemError());
    if (geteuid() != 0) return true;
    // Root ignores the mode; the immutable flag binds root too (where the file system has it).
    const int fd = open(narrow.c_str(), O_RDONLY);
    if (fd < 0) return false;
    int flags = 0;
    const bool ok = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
                    (flags |= FS_IMMUTABLE_FL, ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    close(fd);
    return ok;
}

void MakeSparseFile(const WideString& path, uint64_t length, CallSite at) {
    const int fd = open(Narrow(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail(at, "cannot create", path, LastSystemError());
    const bool ok = ftruncate(fd, static_cast<off_t>(length)) == 0;
    const std::string reason = ok ? std::string() : LastSystemError();
    close(fd);
    if (!ok) Fail(at, "cannot size", path, reason);
}

#endif

namespace {
uint32_t NextRandom(uint32_t& state) {
    // xorshift32: the same bytes on every platform.
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}
}  // namespace

std::vector<uint8_t> RandomBytes(size_t count, uint32_t seed) {
    uint32_t state = seed * 2654435761u + 1;
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(NextRandom(state) >> 24);
    return bytes;
}

std::vector<uint8_t> TextBytes(size_t count, uint32_t seed) {
    static const char* const words[] = {"installer ", "package ", "entry ", "stream ",  "Corvella ",
                                        "table ",     "marker ",  "zlib ",  "window\n", "record "};
    uint32_t state = seed * 2654435761u + 7;
    std::vector<uint8_t> bytes;
    bytes.reserve(count);
    while (bytes.size() < count) {
        const char* word = words[NextRandom(state) % 10];
        while (*word != 0 && bytes.size() < count) bytes.push_back(static_cast<uint8_t>(*word++));
    }
    return bytes;
}
