// The status message by which the installation worker reports to the progress dialog,
// and its codes. The worker only posts; the dialog alone talks to the user.
#pragma once

#include <windows.h>

#include <cstdint>

constexpr UINT WM_INSTALL_STATUS = WM_USER + 10;  // wParam: the code; lParam: 0

enum InstallStatus : uint32_t {
    STATUS_INSTALLING = 1,         // normal mode: extracted, the installer is next
    STATUS_READ_TOC_FAILED = 101,  // terminal codes from here on
    STATUS_BAD_ENTRY_COUNT = 102,
    STATUS_EXTRACT_FAILED = 103,
    STATUS_LAUNCH_FAILED = 104,
    STATUS_WAIT_FAILED = 105,
    STATUS_DONE = 200,              // installed, database deleted
    STATUS_INSTALLER_FAILED = 210,  // the installer ended with a code other than 0
};

inline void PostInstallStatus(HWND dialog, uint32_t code) {
    PostMessageW(dialog, WM_INSTALL_STATUS, code, 0);
}
