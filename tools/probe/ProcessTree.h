// The program under watch and the processes of its job that are running now (the
// installer's msiexec, the installed application), as the last look saw them: whose
// windows are the program's, and which images run.
#pragma once

#include <windows.h>

class ProcessTree {
public:
    explicit ProcessTree(DWORD rootId) : m_rootId(rootId) {}

    // Forgets every process but the root.
    void Clear() { m_count = 0; }
    // A running process of the job; name is its image's file name, empty while unknown.
    void Add(DWORD processId, const wchar_t* name);
    bool Contains(DWORD processId) const;
    // A running process (not the root) whose image name is name, compared without case.
    bool HasDescendant(const wchar_t* name) const;

private:
    struct Process {
        DWORD id;
        wchar_t name[MAX_PATH];
    };
    DWORD m_rootId;
    Process m_processes[64] = {};
    int m_count = 0;
};
