#include "package/TestFiles.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

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

WideString Wide(const std::string& utf8) { return WideFromUtf8(utf8); }
std::string Narrow(const WideString& wide) { return Utf8FromWide(wide); }

WideString JoinPath(const WideString& folder, const WideString& name) {
#ifdef _WIN32
    return folder + u"\\" + name;
#else
    return folder + u"/" + name;
#endif
}

WideString ScratchFolder::operator/(const char* name) const { return JoinPath(m_path, Wide(name)); }

namespace {

[[noreturn]] void Fail(const std::string& what, const WideString& path) {
    throw std::runtime_error(what + ": " + Narrow(path));
}

#ifdef _WIN32
FILE* OpenFile(const WideString& path, const wchar_t* mode) { return _wfopen(path.w_str(), mode); }
#else
FILE* OpenFile(const WideString& path, const char* mode) { return std::fopen(Narrow(path).c_str(), mode); }
#endif

}  // namespace

#ifdef _WIN32

ScratchFolder::ScratchFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static unsigned counter = 0;
    for (;;) {
        wchar_t name[64];
        swprintf(name, 64, L"sfxtest-%lu-%u", GetCurrentProcessId(), ++counter);
        WideString path = WideString(temp) + WideString(name);
        if (CreateDirectoryW(path.w_str(), nullptr)) {
            m_path = path;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) Fail("cannot create scratch folder", path);
    }
}

bool PathExists(const WideString& path) { return GetFileAttributesW(path.w_str()) != INVALID_FILE_ATTRIBUTES; }

void MakeFolder(const WideString& path) {
    if (!CreateDirectoryW(path.w_str(), nullptr)) Fail("cannot create folder", path);
}

std::vector<std::string> ListFolder(const WideString& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((path + u"\\*").w_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = Narrow(WideString(data.cFileName));
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileW(find, &data));
    FindClose(find);
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeReadOnly(const WideString& path) {
    if (!SetFileAttributesW(path.w_str(), FILE_ATTRIBUTE_READONLY)) Fail("cannot make read-only", path);
    // Wine run as root may let a writer in all the same: probe.
    HANDLE probe = CreateFileW(path.w_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe == INVALID_HANDLE_VALUE) return true;
    CloseHandle(probe);
    return false;
}

void MakeSparseFile(const WideString& path, uint64_t length) {
    HANDLE file = CreateFileW(path.w_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("cannot create", path);
    DWORD ignored = 0;
    DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(length);
    const bool ok = SetFilePointerEx(file, distance, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    if (!ok) Fail("cannot size", path);
}

void RemoveTree(const WideString& path) {
    DWORD attributes = GetFileAttributesW(path.w_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesW(path.w_str(), FILE_ATTRIBUTE_NORMAL);
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const std::string& name : ListFolder(path)) RemoveTree(JoinPath(path, Wide(name)));
        RemoveDirectoryW(path.w_str());
    } else {
        DeleteFileW(path.w_str());
    }
}

#else

ScratchFolder::ScratchFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/sfxtest-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (mkdtemp(buffer.data()) == nullptr) Fail("cannot create scratch folder", Wide(pattern));
    m_path = Wide(buffer.data());
}

bool PathExists(const WideString& path) {
    struct stat info;
    return lstat(Narrow(path).c_str(), &info) == 0;
}

void MakeFolder(const WideString& path) {
    if (mkdir(Narrow(path).c_str(), 0755) != 0) Fail("cannot create folder", path);
}

std::vector<std::string> ListFolder(const WideString& path) {
    std::vector<std::string> names;
    DIR* dir = opendir(Narrow(path).c_str());
    if (dir == nullptr) return names;
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    return names;
}

bool MakeReadOnly(const WideString& path) {
    const std::string narrow = Narrow(path);
    if (chmod(narrow.c_str(), 0444) != 0) Fail("cannot make read-only", path);
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

namespace {
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
}  // namespace

void MakeSparseFile(const WideString& path, uint64_t length) {
    const int fd = open(Narrow(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) Fail("cannot create", path);
    const bool ok = ftruncate(fd, static_cast<off_t>(length)) == 0;
    close(fd);
    if (!ok) Fail("cannot size", path);
}

void RemoveTree(const WideString& path) {
    const std::string narrow = Narrow(path);
    struct stat info;
    if (lstat(narrow.c_str(), &info) != 0) return;
    if (S_ISDIR(info.st_mode)) {
        chmod(narrow.c_str(), 0755);
        for (const std::string& name : ListFolder(path)) RemoveTree(JoinPath(path, Wide(name)));
        rmdir(narrow.c_str());
    } else {
        if (S_ISREG(info.st_mode)) ClearImmutable(narrow);
        unlink(narrow.c_str());
    }
}

#endif

ScratchFolder::~ScratchFolder() { RemoveTree(m_path); }

void WriteBytes(const WideString& path, const std::vector<uint8_t>& bytes) {
#ifdef _WIN32
    FILE* file = OpenFile(path, L"wb");
#else
    FILE* file = OpenFile(path, "wb");
#endif
    if (file == nullptr) Fail("cannot write", path);
    const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
    const bool ok = std::fclose(file) == 0 && written == bytes.size();
    if (!ok) Fail("short write", path);
}

std::vector<uint8_t> ReadBytes(const WideString& path) {
#ifdef _WIN32
    FILE* file = OpenFile(path, L"rb");
#else
    FILE* file = OpenFile(path, "rb");
#endif
    if (file == nullptr) Fail("cannot read", path);
    std::vector<uint8_t> bytes;
    uint8_t buffer[65536];
    size_t got;
    while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) bytes.insert(bytes.end(), buffer, buffer + got);
    std::fclose(file);
    return bytes;
}

uint64_t FileSize(const WideString& path) {
#ifdef _WIN32
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.w_str(), GetFileExInfoStandard, &data)) Fail("cannot measure", path);
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
#else
    struct stat info;
    if (stat(Narrow(path).c_str(), &info) != 0) Fail("cannot measure", path);
    return static_cast<uint64_t>(info.st_size);
#endif
}

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
    static const char* const words[] = {"installer ", "package ", "entry ", "stream ", "Corvella ",
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
