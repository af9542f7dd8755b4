#include "tools/sfxpack/files/SignalCleanup.h"

#include <cstring>
#include <string>

#include "base/Utf8.h"
#include "tools/sfxpack/cli/ExitStatus.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
using PathChar = wchar_t;
#else
using PathChar = char;
#endif
constexpr size_t kPathRoom = 4096;
constexpr int kSlots = 4;

// Written only with the signals blocked (on Windows, under the lock the handler
// takes too), so the handler never sees half a path.
struct Slot {
    PathChar path[kPathRoom];
    volatile int kind;  // -1: free
};
Slot g_slots[kSlots] = {{{0}, -1}, {{0}, -1}, {{0}, -1}, {{0}, -1}};
bool g_watching = false;

void RemoveKept() {
    for (int pass : {SignalCleanup::kFile, SignalCleanup::kFolder}) {
        for (Slot& slot : g_slots) {
            if (slot.kind != pass) continue;
#ifdef _WIN32
            if (pass == SignalCleanup::kFile)
                DeleteFileW(slot.path);
            else
                RemoveDirectoryW(slot.path);
#else
            if (pass == SignalCleanup::kFile)
                unlink(slot.path);
            else
                rmdir(slot.path);
#endif
        }
    }
}

#ifdef _WIN32

// The console handler runs on a thread of its own: the lock stands in for the
// signal mask.
struct Lock {
    Lock() { InitializeCriticalSection(&section); }
    CRITICAL_SECTION section;
} g_lock;

BOOL WINAPI OnConsoleEvent(DWORD) {
    EnterCriticalSection(&g_lock.section);
    RemoveKept();
    // A file still open elsewhere in the process goes with its last handle.
    ExitProcess(kExitInterrupted);
}

void Watch() {
    SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

#else

const int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};

void OnSignal(int signal) {
    RemoveKept();
    // Ended as the signal would have ended it, so a shell sees 128 + signal.
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t only;
    sigemptyset(&only);
    sigaddset(&only, signal);
    raise(signal);
    sigprocmask(SIG_UNBLOCK, &only, nullptr);
    _exit(128 + signal);
}

void Watch() {
    for (int signal : kSignals) {
        struct sigaction action, previous;
        std::memset(&action, 0, sizeof action);
        action.sa_handler = &OnSignal;
        sigemptyset(&action.sa_mask);
        for (int other : kSignals) sigaddset(&action.sa_mask, other);
        sigaction(signal, &action, &previous);
        // A signal the caller chose to ignore (nohup) stays ignored.
        if (previous.sa_handler == SIG_IGN) sigaction(signal, &previous, nullptr);
    }
}

#endif

}  // namespace

SignalCleanup::Block::Block() {
#ifdef _WIN32
    EnterCriticalSection(&g_lock.section);
#else
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : kSignals) sigaddset(&blocked, signal);
    sigprocmask(SIG_BLOCK, &blocked, &m_previous);
#endif
}

SignalCleanup::Block::~Block() {
#ifdef _WIN32
    LeaveCriticalSection(&g_lock.section);
#else
    sigprocmask(SIG_SETMASK, &m_previous, nullptr);
#endif
}

int SignalCleanup::Keep(const WideString& path, Kind kind) {
#ifdef _WIN32
    const wchar_t* text = path.w_str();
    const size_t length = path.GetLength();
#else
    const std::string bytes = Utf8FromWide(path);
    const char* text = bytes.c_str();
    const size_t length = bytes.size();
#endif
    if (length == 0 || length >= kPathRoom) return -1;
    if (!g_watching) {
        Watch();
        g_watching = true;
    }
    for (int i = 0; i < kSlots; ++i) {
        if (g_slots[i].kind != -1) continue;
        std::memcpy(g_slots[i].path, text, length * sizeof(PathChar));
        g_slots[i].path[length] = 0;
        g_slots[i].kind = kind;
        return i;
    }
    return -1;
}

void SignalCleanup::Forget(int slot) {
    if (slot < 0 || slot >= kSlots) return;
    Block block;
    g_slots[slot].kind = -1;
}
