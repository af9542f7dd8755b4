// A window handle with the few operations the dialog uses. It owns nothing: the
// window's life is the window manager's business.
#pragma once

#include <windows.h>

class CWindow {
public:
    HWND m_hWnd = nullptr;

    BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    BOOL ShowWindow(int command) { return ::ShowWindow(m_hWnd, command); }
    BOOL DestroyWindow() { return ::DestroyWindow(m_hWnd); }
    BOOL SetWindowText(const wchar_t* text) { return ::SetWindowTextW(m_hWnd, text); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL SetDlgItemText(int id, const wchar_t* text) { return ::SetDlgItemTextW(m_hWnd, id, text); }
    LRESULT SendDlgItemMessage(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
        return ::SendDlgItemMessageW(m_hWnd, id, message, wParam, lParam);
    }
    HICON SetIcon(HICON icon, bool big) {
        return reinterpret_cast<HICON>(
            ::SendMessageW(m_hWnd, WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)));
    }
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) { return ::SetTimer(m_hWnd, id, elapse, nullptr); }
    BOOL KillTimer(UINT_PTR id) { return ::KillTimer(m_hWnd, id); }

    // Centres an ownerless window in the work area of the nearest monitor, kept inside
    // it, without resizing, activating or changing the z-order.
    BOOL CenterWindow();
};
