#include "app/CWindow.h"

BOOL CWindow::CenterWindow() {
    RECT window;
    if (!::GetWindowRect(m_hWnd, &window)) return FALSE;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!::GetMonitorInfoW(::MonitorFromWindow(m_hWnd, MONITOR_DEFAULTTONEAREST), &monitor)) return FALSE;
    const RECT& area = monitor.rcWork;
    LONG width = window.right - window.left;
    LONG height = window.bottom - window.top;
    LONG left = area.left + (area.right - area.left - width) / 2;
    LONG top = area.top + (area.bottom - area.top - height) / 2;
    // Where it would stick out, it moves back inside; the top-left corner wins.
    if (left + width > area.right) left = area.right - width;
    if (left < area.left) left = area.left;
    if (top + height > area.bottom) top = area.bottom - height;
    if (top < area.top) top = area.top;
    return ::SetWindowPos(m_hWnd, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
