#include "ChildProcesses.h"

#include <winternl.h>

#include "JsonLine.h"

namespace {

const ULONG_PTR kJobKey = 1;
const ULONG_PTR kStopKey = 2;
// How often a process that has no name yet is looked at again.
const DWORD kNamePollMs = 10;

// The command line a process was started with, read from its parameter block. False
// while the process has none yet (it is still starting: Wine 10 shows an empty one
// first) or cannot be read.
bool ReadCommandLine(HANDLE process, std::wstring& text) {
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (!process ||
        NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic, nullptr) != 0 ||
        !basic.PebBaseAddress || !ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) ||
        !peb.ProcessParameters ||
        !ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters, nullptr))
        return false;
    text.assign(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
    SIZE_T read = 0;
    if (text.empty() ||
        !ReadProcessMemory(process, parameters.CommandLine.Buffer, &text[0], text.size() * sizeof(wchar_t), &read)) {
        text.clear();
        return false;
    }
    text.resize(read / sizeof(wchar_t));
    return true;
}

// The file name of the process's image, empty while it is not known.
void ReadImageName(HANDLE process, wchar_t* name) {
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    name[0] = 0;
    if (!process || !QueryFullProcessImageNameW(process, 0, path, &size)) return;
    const wchar_t* base = path;
    for (const wchar_t* p = path; *p; ++p)
        if (*p == L'\\' || *p == L'/') base = p + 1;
    lstrcpynW(name, base, MAX_PATH);
}

}  // namespace

ChildProcesses::ChildProcesses() {
    InitializeCriticalSection(&m_lock);
}

ChildProcesses::~ChildProcesses() {
    if (m_thread) {
        PostQueuedCompletionStatus(m_port.get(), 0, kStopKey, nullptr);
        WaitForSingleObject(m_thread.get(), INFINITE);
    }
    DeleteCriticalSection(&m_lock);
}

bool ChildProcesses::Watch(HANDLE process, DWORD processId) {
    m_rootId = processId;
    m_job.reset(CreateJobObjectW(nullptr, nullptr));
    m_port.reset(CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1));
    m_rootEnded.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!m_job || !m_port || !m_rootEnded) return false;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT port = {};
    port.CompletionKey = reinterpret_cast<void*>(kJobKey);
    port.CompletionPort = m_port.get();
    // A process that asks to leave the job may: the program runs as it would outside.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!SetInformationJobObject(m_job.get(), JobObjectAssociateCompletionPortInformation, &port, sizeof port) ||
        !SetInformationJobObject(m_job.get(), JobObjectExtendedLimitInformation, &limits, sizeof limits) ||
        !AssignProcessToJobObject(m_job.get(), process))
        return false;
    m_thread.reset(CreateThread(nullptr, 0, WatchThread, this, 0, nullptr));
    return static_cast<bool>(m_thread);
}

DWORD WINAPI ChildProcesses::WatchThread(void* self) {
    static_cast<ChildProcesses*>(self)->WatchMessages();
    return 0;
}

void ChildProcesses::WatchMessages() {
    for (bool waiting = false;;) {
        DWORD message = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* value = nullptr;
        BOOL got = GetQueuedCompletionStatus(m_port.get(), &message, &key, &value, waiting ? kNamePollMs : INFINITE);
        if (got && key == kStopKey) return;
        CriticalSectionLock hold(m_lock);
        // The job puts the process id where an I/O completion has its OVERLAPPED.
        if (got && key == kJobKey) Take(message, static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(value)));
        waiting = NameWaiting();
    }
}

void ChildProcesses::Take(DWORD message, DWORD processId) {
    bool ended = message == JOB_OBJECT_MSG_EXIT_PROCESS || message == JOB_OBJECT_MSG_ABNORMAL_EXIT_PROCESS;
    if (processId == m_rootId) {
        if (ended) SetEvent(m_rootEnded.get());
        return;
    }
    if (message == JOB_OBJECT_MSG_NEW_PROCESS && m_count < 64) {
        Child& child = m_children[m_count++];
        child.id = processId;
        child.process.reset(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, processId));
        child.named = !child.process;  // gone already: nothing of it can be read
        return;
    }
    for (int i = 0; ended && i < m_count; ++i) {
        Child& child = m_children[i];
        if (child.id != processId || child.ended) continue;
        if (!child.named) Named(child);  // what could be read of it before its end
        if (child.process) {
            WaitForSingleObject(child.process.get(), 1000);  // its end is signalled with the message
            GetExitCodeProcess(child.process.get(), &child.code);
        }
        child.ended = true;
        m_log[m_logged++] = Happening{true, i};
    }
}

// Reads the names that have come since the last time; true while some are still due.
bool ChildProcesses::NameWaiting() {
    bool waiting = false;
    for (int i = 0; i < m_count; ++i) {
        Child& child = m_children[i];
        if (child.named || child.ended) continue;
        ReadImageName(child.process.get(), child.name);
        if (child.name[0] && ReadCommandLine(child.process.get(), child.commandLine))
            Named(child);
        else
            waiting = true;
    }
    return waiting;
}

void ChildProcesses::Named(Child& child) {
    if (!child.name[0]) ReadImageName(child.process.get(), child.name);
    child.named = true;
    // A process that ended before its image was known is reported only by its end.
    if (child.name[0]) m_log[m_logged++] = Happening{false, static_cast<int>(&child - m_children)};
}

void ChildProcesses::Collect(ProcessTree& tree) {
    CriticalSectionLock hold(m_lock);
    m_collected = m_logged;
    tree.Clear();
    for (int i = 0; i < m_count; ++i)
        if (!m_children[i].ended) tree.Add(m_children[i].id, m_children[i].named ? m_children[i].name : L"");
}

void ChildProcesses::Report(DWORD elapsedMs) {
    // What is in the log up to m_collected no longer changes.
    for (; m_reported < m_collected; ++m_reported) {
        const Happening& happening = m_log[m_reported];
        const Child& child = m_children[happening.child];
        if (!happening.ended) {
            JsonLine(elapsedMs, "process")
                .Add("name", child.name)
                .Add("pid", static_cast<long long>(child.id))
                .Add("cmdline", child.commandLine.c_str());
            continue;
        }
        JsonLine line(elapsedMs, "ended");
        line.Add("pid", static_cast<long long>(child.id));
        if (child.code != STILL_ACTIVE) line.Add("code", static_cast<long long>(child.code));
    }
}

void ChildProcesses::Settle(DWORD waitMs) {
    DWORD start = GetTickCount();
    if (!m_thread || WaitForSingleObject(m_rootEnded.get(), waitMs) != WAIT_OBJECT_0) return;
    for (;;) {
        {
            CriticalSectionLock hold(m_lock);
            bool waiting = false;
            for (int i = 0; i < m_count; ++i) waiting = waiting || (!m_children[i].named && !m_children[i].ended);
            if (!waiting) return;
        }
        if (GetTickCount() - start >= waitMs) return;
        Sleep(kNamePollMs);
    }
}

void ChildProcesses::TerminateAll(UINT exitCode) {
    TerminateJobObject(m_job.get(), exitCode);
}
