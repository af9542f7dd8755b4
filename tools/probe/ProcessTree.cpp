#include "ProcessTree.h"

#include <tlhelp32.h>

namespace {

struct Snapshot {
    explicit Snapshot(DWORD flags) : handle(CreateToolhelp32Snapshot(flags, 0)) {}
    ~Snapshot() {
        if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;
    HANDLE handle;
};

}  // namespace

void ProcessTree::Refresh() {
    m_count = 0;
    Snapshot snapshot(TH32CS_SNAPPROCESS);
    if (snapshot.handle == INVALID_HANDLE_VALUE) return;
    PROCESSENTRY32W all[512];
    int total = 0;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.handle, &entry); more && total < 512;
         more = Process32NextW(snapshot.handle, &entry))
        all[total++] = entry;
    // Parents come before children only by chance, so repeat until nothing is added.
    m_processes[m_count].id = m_rootId;
    m_processes[m_count++].name[0] = 0;
    for (bool added = true; added;) {
        added = false;
        for (int i = 0; i < total && m_count < 64; ++i) {
            if (Contains(all[i].th32ProcessID) || !Contains(all[i].th32ParentProcessID)) continue;
            m_processes[m_count].id = all[i].th32ProcessID;
            lstrcpynW(m_processes[m_count].name, all[i].szExeFile, MAX_PATH);
            ++m_count;
            added = true;
        }
    }
}

bool ProcessTree::Contains(DWORD processId) const {
    for (int i = 0; i < m_count; ++i)
        if (m_processes[i].id == processId) return true;
    return false;
}

bool ProcessTree::HasDescendant(const wchar_t* name) const {
    for (int i = 1; i < m_count; ++i) {
        const wchar_t* base = m_processes[i].name;
        for (const wchar_t* p = m_processes[i].name; *p; ++p)
            if (*p == L'\\' || *p == L'/') base = p + 1;
        if (lstrcmpiW(base, name) == 0) return true;
    }
    return false;
}

void ProcessTree::TerminateAll(UINT exitCode) {
    for (int i = 0; i < m_count; ++i) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, m_processes[i].id);
        if (!process) continue;
        TerminateProcess(process, exitCode);
        CloseHandle(process);
    }
}
