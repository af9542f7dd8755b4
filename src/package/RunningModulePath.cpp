#include "package/RunningModulePath.h"

#ifdef _WIN32
#include <windows.h>

WideString RunningModulePath() {
    wchar_t path[MAX_PATH] = {0};
    // A failure leaves an empty path, which no open accepts.
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    return WideString(path);
}
#else
#include <unistd.h>

#include <string>

#include "base/Utf8.h"

WideString RunningModulePath() {
    char path[4096];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) return WideString();
    return WideFromUtf8(std::string(path, static_cast<size_t>(length)));
}
#endif
