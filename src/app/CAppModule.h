// The application module: the module base plus the registry of message loops, one
// per thread, guarded by the module lock. One process-wide object, g_appModule.
#pragma once

#include <windows.h>

#include "app/CComModule.h"

class CMessageLoop;

class CAppModule : public CComModule {
public:
    static constexpr int kMaxLoops = 4;

    CAppModule();
    ~CAppModule() override;

    // Creates the empty loop registry.
    HRESULT Init(const void* objectMap, HINSTANCE instance, const GUID* libraryId = nullptr);
    // Empties and drops the registry, then terminates the base.
    void Term();

    // Each takes the module lock for its whole duration. Add answers false when the
    // calling thread has a loop already, the registry is full or not initialised.
    bool AddMessageLoop(CMessageLoop* loop);
    // The calling thread's loop, or null.
    CMessageLoop* GetMessageLoop();
    // False when the calling thread has no loop.
    bool RemoveMessageLoop();

private:
    struct Entry {
        DWORD threadId;
        CMessageLoop* loop;
    };

    CRITICAL_SECTION m_lock;
    bool m_registryReady = false;
    Entry m_loops[kMaxLoops] = {};
    int m_loopCount = 0;
};

extern CAppModule g_appModule;
