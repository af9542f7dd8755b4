#include "StatusWindow.h"

#include "install/InstallStatus.h"

StatusWindow::StatusWindow(bool visibleTopLevel) {
    // A plain popup is not managed by the X window manager under Wine, so hiding it
    // is immediate.
    m_window = visibleTopLevel ? CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10,
                                                 nullptr, nullptr, nullptr, nullptr)
                               : CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                                 nullptr, nullptr);
}

StatusWindow::~StatusWindow() {
    DestroyWindow(m_window);
}

std::vector<uint32_t> StatusWindow::TakeCodes() {
    std::vector<uint32_t> codes;
    MSG msg;
    while (PeekMessageW(&msg, m_window, WM_INSTALL_STATUS, WM_INSTALL_STATUS, PM_REMOVE))
        codes.push_back(static_cast<uint32_t>(msg.wParam));
    return codes;
}
