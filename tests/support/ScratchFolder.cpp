#include "support/ScratchFolder.h"

#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TestFiles.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifdef _WIN32

ScratchFolder::ScratchFolder(const char* prefix, CallSite at) : m_made(at) {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) FailAt(at, "no temporary folder: " + LastSystemError());
    static unsigned counter = 0;
    for (;;) {
        const std::string name = std::string(prefix) + std::to_string(GetCurrentProcessId()) + "-" +
                                 std::to_string(GetTickCount()) + "-" + std::to_string(++counter);
        const WideString path = WideString(temp) + Wide(name);
        if (CreateDirectoryW(path.w_str(), nullptr)) {
            m_path = path;
            return;
        }
        const std::string reason = LastSystemError();
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            FailAt(at, "cannot create scratch folder " + Narrow(path) + ": " + reason);
    }
}

#else

ScratchFolder::ScratchFolder(const char* prefix, CallSite at) : m_made(at) {
    const char* base = std::getenv("TMPDIR");
    const std::string pattern =
        std::string(base != nullptr && *base != 0 ? base : "/tmp") + "/" + prefix + "XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back(0);
    if (mkdtemp(buffer.data()) == nullptr)
        FailAt(at, "cannot create scratch folder " + pattern + ": " + LastSystemError());
    m_path = Wide(buffer.data());
}

#endif

ScratchFolder::~ScratchFolder() {
    // RemoveTree has recorded the failure at the line that made the folder.
    try {
        RemoveTree(m_path, m_made);
    } catch (const std::runtime_error&) {
    }
}

WideString ScratchFolder::operator/(const char* name) const {
    return JoinPath(m_path, Wide(name));
}
WideString ScratchFolder::operator/(const char16_t* name) const {
    return JoinPath(m_path, name);
}
