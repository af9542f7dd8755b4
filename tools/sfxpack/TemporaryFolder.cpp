#include "tools/sfxpack/TemporaryFolder.h"

#include <cstring>
#include <string>

#include "base/Utf8.h"
#include "package/PackageFormat.h"

#ifdef _WIN32
#include <windows.h>
// clang-format off
#include <wincrypt.h>
// clang-format on
#else
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>
#endif

namespace {

// What an interrupt removes, kept where a handler may read it without allocating.
#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
constexpr size_t kPathRoom = 4096;
PathChar g_folder[kPathRoom];
PathChar g_file[kPathRoom];

template <typename Char>
void Keep(PathChar* slot, const Char* text, size_t length) {
    slot[0] = 0;
    if (length >= kPathRoom) return;
    for (size_t i = 0; i < length; ++i) slot[i] = static_cast<PathChar>(text[i]);
    slot[length] = 0;
}

#ifdef _WIN32

void RemoveKept() {
    if (g_file[0] != 0) DeleteFileW(g_file);
    if (g_folder[0] != 0) RemoveDirectoryW(g_folder);
}

BOOL WINAPI OnConsoleEvent(DWORD) {
    RemoveKept();
    return FALSE;  // and let the process end as it would have
}

WideString MakeFolder() {
    wchar_t base[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, base);
    if (length == 0 || length > MAX_PATH) return WideString();
    for (int attempt = 0; attempt < 16; ++attempt) {
        unsigned char random[8];
        HCRYPTPROV provider = 0;
        if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT))
            return WideString();
        const bool got = CryptGenRandom(provider, sizeof random, random) != 0;
        CryptReleaseContext(provider, 0);
        if (!got) return WideString();
        WideString name;
        name.Format(u"sfxpack-%02x%02x%02x%02x%02x%02x%02x%02x", random[0], random[1], random[2], random[3],
                    random[4], random[5], random[6], random[7]);
        const WideString path = WideString(base) + name;
        // CreateDirectory fails on an existing name: the folder is ours alone.
        if (CreateDirectoryW(path.w_str(), nullptr)) return path;
        if (GetLastError() != ERROR_ALREADY_EXISTS) return WideString();
    }
    return WideString();
}

void Watch(bool on) {
    SetConsoleCtrlHandler(&OnConsoleEvent, on ? TRUE : FALSE);
}

#else

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
struct sigaction g_previous[sizeof kSignals / sizeof kSignals[0]];

void OnSignal(int signal) {
    if (g_file[0] != 0) unlink(g_file);
    if (g_folder[0] != 0) rmdir(g_folder);
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (kSignals[i] == signal) sigaction(signal, &g_previous[i], nullptr);
    }
    raise(signal);
}

WideString MakeFolder() {
    const char* base = getenv("TMPDIR");
    std::string path = std::string(base != nullptr && base[0] == '/' ? base : "/tmp") + "/sfxpack-XXXXXX";
    // mkdtemp: a new folder, mode 0700, under a name no one could guess.
    if (mkdtemp(&path[0]) == nullptr) return WideString();
    return WideFromUtf8(path);
}

void Watch(bool on) {
    for (size_t i = 0; i < sizeof kSignals / sizeof kSignals[0]; ++i) {
        if (on) {
            struct sigaction action;
            std::memset(&action, 0, sizeof action);
            action.sa_handler = &OnSignal;
            sigemptyset(&action.sa_mask);
            sigaction(kSignals[i], &action, &g_previous[i]);
        } else {
            sigaction(kSignals[i], &g_previous[i], nullptr);
        }
    }
}

#endif

template <typename Slot>
void KeepPath(Slot* slot, const WideString& path) {
#ifdef _WIN32
    Keep(slot, path.w_str(), path.GetLength());
#else
    const std::string bytes = Utf8FromWide(path);
    Keep(slot, bytes.c_str(), bytes.size());
#endif
}

}  // namespace

TemporaryFolder::TemporaryFolder() {
#ifndef _WIN32
    // A signal between making the folder and watching for it would leave the folder:
    // hold the signals back until the handler knows what to remove.
    sigset_t held, previous;
    sigemptyset(&held);
    for (int signal : kSignals) sigaddset(&held, signal);
    sigprocmask(SIG_BLOCK, &held, &previous);
#endif
    m_path = MakeFolder();
    if (!m_path.IsEmpty()) {
        KeepPath(g_folder, m_path);
        Watch(true);
    }
#ifndef _WIN32
    sigprocmask(SIG_SETMASK, &previous, nullptr);
#endif
}

TemporaryFolder::~TemporaryFolder() {
    if (m_path.IsEmpty()) return;
#ifdef _WIN32
    if (!m_file.IsEmpty()) DeleteFileW(m_file.w_str());
    RemoveDirectoryW(m_path.w_str());
#else
    if (!m_file.IsEmpty()) unlink(Utf8FromWide(m_file).c_str());
    rmdir(Utf8FromWide(m_path).c_str());
#endif
    Watch(false);
    g_file[0] = 0;
    g_folder[0] = 0;
}

WideString TemporaryFolder::Hold(const WideString& name) {
    m_file = m_path + WideString(&kPathSeparator, 1) + name;
    KeepPath(g_file, m_file);
    return m_file;
}
