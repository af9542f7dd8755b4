// A message-only window that stands in for the progress dialog: it receives what the
// worker posts, and can be shown and hidden like the dialog.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

class StatusWindow {
public:
    explicit StatusWindow(bool visibleTopLevel = false);
    ~StatusWindow();
    StatusWindow(const StatusWindow&) = delete;
    StatusWindow& operator=(const StatusWindow&) = delete;

    HWND get() const { return m_window; }
    bool IsVisible() const { return IsWindowVisible(m_window) != FALSE; }
    // The status codes posted so far, in order; the queue is emptied.
    std::vector<uint32_t> TakeCodes();

private:
    HWND m_window;
};
