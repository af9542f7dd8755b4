// The one message loop of the user-interface thread: message filters (newest first),
// idle handlers (oldest first) and the exit code carried by the quit message.
#pragma once

#include <windows.h>

#include "app/CIdleHandler.h"
#include "app/CMessageFilter.h"
#include "app/PointerList.h"

class CMessageLoop {
public:
    static constexpr int kMaxHandlers = 8;

    CMessageLoop() = default;
    CMessageLoop(const CMessageLoop&) = delete;
    CMessageLoop& operator=(const CMessageLoop&) = delete;
    virtual ~CMessageLoop() = default;

    // An add appends (false when full); a remove deletes the first equal entry and
    // answers false when there is none.
    bool AddMessageFilter(CMessageFilter* filter) { return m_filters.Add(filter); }
    bool RemoveMessageFilter(CMessageFilter* filter) { return m_filters.Remove(filter); }
    bool AddIdleHandler(CIdleHandler* handler) { return m_idleHandlers.Add(handler); }
    bool RemoveIdleHandler(CIdleHandler* handler) { return m_idleHandlers.Remove(handler); }

    // Runs until the quit message and returns its wParam.
    int Run();

    // The filter chain, newest filter first; true when one consumed the message.
    virtual BOOL PreTranslateMessage(MSG* msg);
    // Every idle handler once, oldest first; false, so idle processing stops until a
    // message re-arms it.
    virtual BOOL OnIdle(int idleCount);

    // Mouse moves, painting and the caret-blink timer must not wake the idle handlers.
    static bool IsIdleMessage(const MSG& msg);

protected:
    // GetMessageW on the thread's queue. The seam through which tests feed failures.
    virtual BOOL GetNextMessage(MSG& msg);

    MSG m_msg = {};

private:
    PointerList<CMessageFilter, kMaxHandlers> m_filters;
    PointerList<CIdleHandler, kMaxHandlers> m_idleHandlers;
};
