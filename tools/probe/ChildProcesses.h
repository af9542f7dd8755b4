// The processes a program started, as the probe reports them: each once it has its
// image name (with its command line), and its end (with its exit code).
//
// They are not looked for: the program is put in a job before it runs, every process
// it starts, and they start, joins that job as it is created, and the job tells of
// each creation and end on a completion port. A thread of our own takes those messages
// as they come and opens each new process at once, so that neither a process shorter
// than the probe's look nor one that starts and ends while the probe holds the program
// still goes unseen, however slow the machine. The handle is kept until the probe
// ends: the exit code can be read after the end, and the id is not reused meanwhile.
#pragma once

#include <windows.h>

#include <string>

#include "ProcessTree.h"
#include "base/ScopedWin.h"

class ChildProcesses {
public:
    ChildProcesses();
    ~ChildProcesses();  // stops the watching thread
    ChildProcesses(const ChildProcesses&) = delete;
    ChildProcesses& operator=(const ChildProcesses&) = delete;

    // Watches process (created suspended, not yet resumed) and all it will start.
    // False, with nothing started, when no job can be made or the process not put in it.
    bool Watch(HANDLE process, DWORD processId);
    // Takes what happened since the last call, to be reported by Report, and updates
    // tree with the processes now running.
    void Collect(ProcessTree& tree);
    // Reports what the last Collect took, in the order it happened.
    void Report(DWORD elapsedMs);
    // Once the program has ended: waits, at most waitMs, until its end has come through
    // the job (so has every start before it) and every process has its name.
    void Settle(DWORD waitMs);
    // Ends the program and every process in its job.
    void TerminateAll(UINT exitCode);

private:
    struct Child {
        DWORD id = 0;
        KernelHandle process;
        wchar_t name[MAX_PATH] = {};
        std::wstring commandLine;
        bool named = false;  // name and command line are final
        bool ended = false;
        DWORD code = STILL_ACTIVE;
    };
    struct Happening {
        bool ended;
        int child;
    };

    static DWORD WINAPI WatchThread(void* self);
    void WatchMessages();
    void Take(DWORD message, DWORD processId);
    bool NameWaiting();
    void Named(Child& child);

    KernelHandle m_job;
    KernelHandle m_port;
    KernelHandle m_thread;
    KernelHandle m_rootEnded;  // set once the program's own end has come through
    DWORD m_rootId = 0;
    CRITICAL_SECTION m_lock;
    Child m_children[64];
    int m_count = 0;  // written under m_lock; a child is whole once it is in m_log
    Happening m_log[128] = {};
    int m_logged = 0;
    int m_collected = 0;  // what Collect took ...
    int m_reported = 0;   // ... and what Report has reported of it
};
