#include "tools/sfxpack/files/TemporaryFolder.h"

#include <string>

#include "base/Path.h"
#include "base/Utf8.h"
#include "file/RemoveQuietly.h"
#include "tools/sfxpack/files/RandomName.h"
#include "tools/sfxpack/files/SignalCleanup.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32

WideString MakeFolder() {
    wchar_t base[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH) return WideString();
    for (int attempt = 0; attempt < 16; ++attempt) {
        const WideString name = RandomName(u"sfxpack-", u"");
        if (name.IsEmpty()) return WideString();
        const WideString path = WideString(base) + name;
        // CreateDirectory fails on an existing name: the folder is ours alone.
        if (CreateDirectoryW(path.w_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return WideString();
    }
    return WideString();
}

void RemoveFolder(const WideString& path) {
    RemoveDirectoryW(path.w_str());
}

#else

WideString MakeFolder() {
    const char* base = getenv("TMPDIR");
    std::string path = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/sfxpack-XXXXXX";
    // mkdtemp: a new folder, mode 0700, under a name no one could guess.
    if (mkdtemp(&path[0]) == nullptr) return WideString();
    return WideFromUtf8(path);
}

void RemoveFolder(const WideString& path) {
    rmdir(Utf8FromWide(path).c_str());
}

#endif

}  // namespace

TemporaryFolder::TemporaryFolder() {
    // An interrupt between making the folder and keeping its path would leave it.
    SignalCleanup::Block block;
    m_path = MakeFolder();
    if (!m_path.IsEmpty()) m_folderSlot = SignalCleanup::Keep(m_path, SignalCleanup::kFolder);
}

TemporaryFolder::~TemporaryFolder() {
    if (m_path.IsEmpty()) return;
    if (!m_file.IsEmpty()) RemoveQuietly(m_file);
    RemoveFolder(m_path);
    SignalCleanup::Forget(m_fileSlot);
    SignalCleanup::Forget(m_folderSlot);
}

WideString TemporaryFolder::PathFor(const WideString& name) {
    SignalCleanup::Block block;
    SignalCleanup::Forget(m_fileSlot);
    m_file = InFolder(m_path, name);
    m_fileSlot = SignalCleanup::Keep(m_file, SignalCleanup::kFile);
    return m_file;
}
