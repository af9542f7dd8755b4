#include "ProcessTree.h"

void ProcessTree::Add(DWORD processId, const wchar_t* name) {
    if (m_count == 64) return;
    m_processes[m_count].id = processId;
    lstrcpynW(m_processes[m_count].name, name, MAX_PATH);
    ++m_count;
}

bool ProcessTree::Contains(DWORD processId) const {
    if (processId == m_rootId) return true;
    for (int i = 0; i < m_count; ++i)
        if (m_processes[i].id == processId) return true;
    return false;
}

bool ProcessTree::HasDescendant(const wchar_t* name) const {
    for (int i = 0; i < m_count; ++i)
        if (lstrcmpiW(m_processes[i].name, name) == 0) return true;
    return false;
}
