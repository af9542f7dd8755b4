#include "file/TempFolder.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "base/Utf8.h"
#endif

namespace {

[[noreturn]] void Fail(const char* what) {
    throw std::runtime_error(what);
}

}  // namespace

#ifdef _WIN32

const char16_t* const kSeparator = u"\\";

namespace {

const wchar_t* W(const WideString& s) {
    return s.w_str();
}

void RemoveTree(const WideString& folder) {
    WIN32_FIND_DATAW found;
    WideString pattern = folder + u"\\*";
    HANDLE search = FindFirstFileW(W(pattern), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            WideString name(found.cFileName);
            if (name == u"." || name == u"..") continue;
            WideString child = folder + u"\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(child);
            } else {
                SetFileAttributesW(W(child), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(W(child));
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    RemoveDirectoryW(W(folder));
}

}  // namespace

TempFolder::TempFolder() {
    wchar_t base[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH) Fail("GetTempPathW");
    static unsigned counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        WideString path;
        path.Format(u"%sfiletest-%u-%u-%u", reinterpret_cast<const char16_t*>(base),
                    static_cast<unsigned>(GetCurrentProcessId()), GetTickCount(), ++counter);
        if (CreateDirectoryW(W(path), nullptr)) {
            m_path = path;
            return;
        }
    }
    Fail("CreateDirectoryW");
}

TempFolder::~TempFolder() {
    RemoveTree(m_path);
}

void WriteFileBytes(const WideString& path, const std::string& bytes) {
    HANDLE file =
        CreateFileW(W(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("CreateFileW for writing");
    DWORD written = 0;
    BOOL ok =
        bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    if (!ok || written != bytes.size()) Fail("WriteFile");
}

std::string ReadFileBytes(const WideString& path) {
    HANDLE file = CreateFileW(W(path), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) Fail("CreateFileW for reading");
    std::string bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got > 0) bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool FileExists(const WideString& path) {
    return GetFileAttributesW(W(path)) != INVALID_FILE_ATTRIBUTES;
}

#else

const char16_t* const kSeparator = u"/";

namespace {

void RemoveTree(const std::string& folder) {
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* entry = readdir(dir)) {
            std::string name = entry->d_name;
            if (name == "." || name == "..") continue;
            std::string child = folder + "/" + name;
            struct stat info;
            if (lstat(child.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
                RemoveTree(child);
            else
                unlink(child.c_str());
        }
        closedir(dir);
    }
    rmdir(folder.c_str());
}

}  // namespace

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/filetest-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) Fail("mkdtemp");
    m_path = WideFromUtf8(pattern);
}

TempFolder::~TempFolder() {
    RemoveTree(Utf8FromWide(m_path));
}

void WriteFileBytes(const WideString& path, const std::string& bytes) {
    int fd = open(Utf8FromWide(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail("open for writing");
    ssize_t written = bytes.empty() ? 0 : write(fd, bytes.data(), bytes.size());
    close(fd);
    if (written != static_cast<ssize_t>(bytes.size())) Fail("write");
}

std::string ReadFileBytes(const WideString& path) {
    int fd = open(Utf8FromWide(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("open for reading");
    std::string bytes;
    char chunk[4096];
    ssize_t got;
    while ((got = read(fd, chunk, sizeof chunk)) > 0) bytes.append(chunk, static_cast<size_t>(got));
    close(fd);
    return bytes;
}

bool FileExists(const WideString& path) {
    struct stat info;
    return stat(Utf8FromWide(path).c_str(), &info) == 0;
}

#endif

WideString TempFolder::File(const char16_t* name) const {
    return m_path + kSeparator + name;
}
