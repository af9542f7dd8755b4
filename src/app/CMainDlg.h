// The progress dialog: the program's one window and the owner of the run. It picks the
// language and the mode, shows title, icon, spinner and status line, starts the
// installation worker on its first timer tick and turns the worker's status codes into
// what the user sees and into the exit code.
//
// The operations of the installation run are static members: the worker gets its own
// copy of what it needs of the dialog (WorkerState) and never touches the dialog
// object, which may be gone when the user has cancelled. They live in src/install.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/CDialogImpl.h"
#include "app/CIdleHandler.h"
#include "app/CMessageFilter.h"
#include "base/WideString.h"
#include "install/ScopedHandle.h"
#include "res/ResourceIds.h"

class CMainDlg : public CDialogImpl<CMainDlg>, public CMessageFilter, public CIdleHandler {
public:
    enum { IDD = IDD_MAINDLG };

    // What the worker reads of the dialog, copied before the worker exists.
    struct WorkerState {
        HWND window;      // the target of every status message
        bool updateMode;  // m_updateMode
    };

    CMainDlg() = default;
    ~CMainDlg() override;

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
    // The dialog manager's keyboard handling (Escape becomes Cancel).
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnIdle() override { return FALSE; }

    // The installation run (src/install).
    // Starts the worker with its own copy of state; the thread handle, or null.
    static HANDLE StartInstallWorker(const WorkerState& state);
    // The worker's entry: param is a heap WorkerState that the thread takes over; null
    // ends the thread at once. Returns 1.
    static DWORD WINAPI InstallThreadProc(void* param);
    // Extracts the database into the temporary folder, runs the installer, deletes the
    // database after success; posts exactly one terminal status code, last.
    static void RunInstallation(const WorkerState& state);
    // Runs msiexec on databasePath and waits for it; true when it ended with 0. Posts
    // 104, 105 or 210 itself on failure. Hides the window first in normal mode.
    static bool LaunchInstaller(const WorkerState& state, WideString databasePath);
    // The registered install folder (HKCU, then HKLM), without closing backslashes, or
    // the default folder.
    static WideString GetInstallDir();
    // Starts Corvella.exe from the install folder, if the folder exists.
    static void StartApplication();

    static bool IsUpdateSwitch(int argc, wchar_t** argv);

private:
    using KernelHandle = ScopedHandle<HANDLE, ::CloseHandle>;
    using IconHandle = ScopedHandle<HICON, ::DestroyIcon>;

    LRESULT OnInitDialog();
    void OnDestroy();
    void OnTimer();
    void OnStatus(uint32_t code);
    void CloseDialog(int exitCode);
    void ShowFailure(const WideString& message);
    WideString LoadText(unsigned baseId) const;

    bool m_updateMode = false;
    KernelHandle m_workerThread;
    int m_stringIdOffset = 0;
    bool m_workerStarted = false;
    IconHandle m_bigIcon;
    IconHandle m_smallIcon;
};
