#include "app/CAppModule.h"

#include "base/ScopedWin.h"

CAppModule g_appModule;

CAppModule::CAppModule() {
    InitializeCriticalSection(&m_lock);
}

CAppModule::~CAppModule() {
    DeleteCriticalSection(&m_lock);
}

HRESULT CAppModule::Init(const void* objectMap, HINSTANCE instance, const GUID* libraryId) {
    HRESULT result = CComModule::Init(objectMap, instance, libraryId);
    CriticalSectionLock lock(m_lock);
    m_loopCount = 0;
    m_registryReady = true;
    return result;
}

void CAppModule::Term() {
    {
        CriticalSectionLock lock(m_lock);
        m_loopCount = 0;
        m_registryReady = false;
    }
    CComModule::Term();
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
    CriticalSectionLock lock(m_lock);
    DWORD thread = GetCurrentThreadId();
    if (!m_registryReady || m_loopCount == kMaxLoops) return false;
    for (int i = 0; i < m_loopCount; ++i)
        if (m_loops[i].threadId == thread) return false;
    m_loops[m_loopCount++] = Entry{thread, loop};
    return true;
}

CMessageLoop* CAppModule::GetMessageLoop() {
    CriticalSectionLock lock(m_lock);
    DWORD thread = GetCurrentThreadId();
    for (int i = 0; i < m_loopCount; ++i)
        if (m_loops[i].threadId == thread) return m_loops[i].loop;
    return nullptr;
}

bool CAppModule::RemoveMessageLoop() {
    CriticalSectionLock lock(m_lock);
    DWORD thread = GetCurrentThreadId();
    for (int i = 0; i < m_loopCount; ++i) {
        if (m_loops[i].threadId != thread) continue;
        m_loops[i] = m_loops[--m_loopCount];
        return true;
    }
    return false;
}
