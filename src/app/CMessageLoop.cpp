#include "app/CMessageLoop.h"

int CMessageLoop::Run() {
    bool idle = true;
    int idleCount = 0;
    for (;;) {
        while (idle && !PeekMessageW(&m_msg, nullptr, 0, 0, PM_NOREMOVE)) {
            if (!OnIdle(idleCount++)) idle = false;
        }
        BOOL got = GetNextMessage(m_msg);
        if (got == -1) continue;  // nothing to process, nothing to report
        if (!got) break;
        if (!PreTranslateMessage(&m_msg)) {
            TranslateMessage(&m_msg);
            DispatchMessageW(&m_msg);
        }
        if (IsIdleMessage(m_msg)) {
            idle = true;
            idleCount = 0;
        }
    }
    return static_cast<int>(m_msg.wParam);
}

BOOL CMessageLoop::PreTranslateMessage(MSG* msg) {
    for (int i = m_filters.Count() - 1; i >= 0; --i) {
        CMessageFilter* filter = m_filters.At(i);
        if (filter && filter->PreTranslateMessage(msg)) return TRUE;
    }
    return FALSE;
}

BOOL CMessageLoop::OnIdle(int) {
    for (int i = 0; i < m_idleHandlers.Count(); ++i) {
        CIdleHandler* handler = m_idleHandlers.At(i);
        if (handler) handler->OnIdle();
    }
    return FALSE;
}

bool CMessageLoop::IsIdleMessage(const MSG& msg) {
    const UINT kCaretBlinkTimer = 0x0118;
    switch (msg.message) {
        case kCaretBlinkTimer:
        case WM_PAINT:
        case WM_NCMOUSEMOVE:
        case WM_MOUSEMOVE:
            return false;
        default:
            return true;
    }
}

BOOL CMessageLoop::GetNextMessage(MSG& msg) {
    return GetMessageW(&msg, nullptr, 0, 0);
}
