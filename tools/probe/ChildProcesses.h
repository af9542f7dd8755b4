// The processes a program started, as the probe reports them: each once it has its
// image name (with its command line), and its end (with its exit code). A handle is
// kept from the first sight on, so the exit code can still be read after the end and
// the id is not reused meanwhile.
#pragma once

#include <windows.h>

#include "ProcessTree.h"
#include "base/ScopedWin.h"

class ChildProcesses {
public:
    // Reports the descendants of the snapshot not reported before.
    void ReportStarted(const ProcessTree& tree, DWORD elapsedMs);
    // Reports the reported ones that have left the snapshot.
    void ReportEnded(const ProcessTree& tree, DWORD elapsedMs);

private:
    struct Child {
        DWORD id;
        KernelHandle process;
    };
    bool Known(DWORD processId) const;

    Child m_children[64] = {};
    int m_count = 0;
};
