// The program under watch and the processes it started (the installer's msiexec,
// the installed application), found through a toolhelp snapshot.
#pragma once

#include <windows.h>

class ProcessTree {
public:
    explicit ProcessTree(DWORD rootId) : m_rootId(rootId), m_count(0) {}

    // Takes a fresh snapshot of the root and its descendants.
    void Refresh();
    bool Contains(DWORD processId) const;
    // A descendant (not the root) whose image name is name, compared without case.
    bool HasDescendant(const wchar_t* name) const;
    int Count() const { return m_count; }
    DWORD IdAt(int index) const { return m_processes[index].id; }
    const wchar_t* NameAt(int index) const { return m_processes[index].name; }

    // Ends the root and every descendant of the last snapshot.
    void TerminateAll(UINT exitCode);

private:
    struct Process {
        DWORD id;
        wchar_t name[MAX_PATH];
    };
    DWORD m_rootId;
    Process m_processes[64];
    int m_count;
};
