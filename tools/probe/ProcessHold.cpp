#include "ProcessHold.h"

#include <tlhelp32.h>
#include <winternl.h>

namespace {

// Where a thread began. Wine reports the threads that were running when the debugger
// attached without their start address; the thread itself still knows it.
const void* StartOf(HANDLE thread, const void* reported) {
    void* start = nullptr;
    if (reported || NtQueryInformationThread(thread, ThreadQuerySetWin32StartAddress, &start, sizeof start,
                                             nullptr) != 0)
        return reported;
    return start;
}

}  // namespace

ProcessHold::ProcessHold(DWORD processId, DWORD keepThreadId)
    : m_processId(processId), m_keepThreadId(keepThreadId) {
    HANDLE modules = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, processId);
    MODULEENTRY32W image = {};
    image.dwSize = sizeof image;
    if (modules != INVALID_HANDLE_VALUE && Module32FirstW(modules, &image)) {
        m_imageStart = image.modBaseAddr;
        m_imageEnd = image.modBaseAddr + image.modBaseSize;
    }
    if (modules != INVALID_HANDLE_VALUE) CloseHandle(modules);
    // Attaching reports every thread that exists, with where it started.
    m_attached = m_imageStart && DebugActiveProcess(processId);
    if (m_attached)
        DebugSetProcessKillOnExit(FALSE);
    else
        HoldExistingThreads();
}

bool ProcessHold::InImage(const void* address) const {
    auto* at = static_cast<const BYTE*>(address);
    return at >= m_imageStart && at < m_imageEnd;
}

ProcessHold::~ProcessHold() {
    if (m_attached) {
        Service(0);
        DebugActiveProcessStop(m_processId);
    }
    for (int i = 0; i < m_heldCount; ++i) {
        ResumeThread(m_held[i]);
        CloseHandle(m_held[i]);
    }
}

void ProcessHold::Hold(HANDLE thread, DWORD threadId) {
    if (threadId == m_keepThreadId || m_heldCount == 256) return;
    for (int i = 0; i < m_heldCount; ++i)
        if (m_heldIds[i] == threadId) return;
    HANDLE own = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), thread, GetCurrentProcess(), &own, THREAD_SUSPEND_RESUME, FALSE,
                         0))
        return;
    if (SuspendThread(own) == static_cast<DWORD>(-1)) {
        CloseHandle(own);
        return;
    }
    m_held[m_heldCount] = own;
    m_heldIds[m_heldCount++] = threadId;
}

void ProcessHold::HoldExistingThreads() {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != m_processId) continue;
        HANDLE thread = OpenThread(THREAD_SUSPEND_RESUME, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        Hold(thread, entry.th32ThreadID);
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
}

void ProcessHold::Service(DWORD waitMs) {
    if (!m_attached) {
        // Without the debugger, new threads are caught by looking often, and all are held.
        HoldExistingThreads();
        Sleep(waitMs);
        return;
    }
    DEBUG_EVENT event;
    DWORD start = GetTickCount();
    while (WaitForDebugEvent(&event, waitMs)) {
        DWORD status = DBG_CONTINUE;
        switch (event.dwDebugEventCode) {
            case CREATE_THREAD_DEBUG_EVENT:
                if (InImage(StartOf(event.u.CreateThread.hThread,
                                    reinterpret_cast<const void*>(event.u.CreateThread.lpStartAddress))))
                    Hold(event.u.CreateThread.hThread, event.dwThreadId);
                break;
            case CREATE_PROCESS_DEBUG_EVENT:
                if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
                break;
            case EXCEPTION_DEBUG_EVENT:
                // The attach break is ours; everything else belongs to the program. It
                // comes after the threads that were running have been reported.
                if (event.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) {
                    status = DBG_EXCEPTION_NOT_HANDLED;
                } else if (!m_attachBreakSeen) {
                    m_attachBreakSeen = true;
                    m_heldAtAttach = m_heldCount;
                }
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
        if (GetTickCount() - start >= waitMs) break;
    }
}
