#include "file/RunningModulePath.h"

#ifdef _WIN32
#include <windows.h>

#include <memory>
#include <new>

namespace {

// The longest path Windows knows, in UTF-16 units with the terminator.
const DWORD kLongestPath = 32768;

// A path of MAX_PATH units or more opens only in its long form (\\?\), unless the
// program declares itself long-path aware, which the stub does not.
WideString LongForm(const wchar_t* path, DWORD length) {
    if (length < MAX_PATH || (path[0] == L'\\' && path[1] == L'\\' && path[2] == L'?')) {
        return WideString(path, length);
    }
    if (path[0] == L'\\' && path[1] == L'\\')
        return WideString(L"\\\\?\\UNC") + WideString(path + 1, length - 1);
    return WideString(L"\\\\?\\") + WideString(path, length);
}

}  // namespace

WideString RunningModulePath() {
    // Installers are run from deep folders too: ask with a growing buffer. An answer
    // that fills the buffer is cut (and not terminated on older systems), so only a
    // shorter one is the whole path. Empty when it cannot be had, which no open accepts.
    for (DWORD size = MAX_PATH;; size = size * 2 < kLongestPath ? size * 2 : kLongestPath) {
        std::unique_ptr<wchar_t[]> path;
        try {
            path = std::make_unique<wchar_t[]>(size);
        } catch (const std::bad_alloc&) {
            return WideString();
        }
        const DWORD length = GetModuleFileNameW(nullptr, path.get(), size);
        if (length == 0) return WideString();
        if (length < size) return LongForm(path.get(), length);
        if (size == kLongestPath) return WideString();
    }
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
