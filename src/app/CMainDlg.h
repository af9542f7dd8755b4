// The progress dialog: the program's one window and the owner of the run. It picks the
// language and the mode, shows title, icon, spinner and status line, starts the
// installation worker on its first timer tick and turns the worker's status codes into
// what the user sees and into the exit code.
//
// The operations of the installation run are members too, as forwarders
// over src/install, which is handed the dialog's window and mode (WorkerState) and
// never the dialog object: that may be gone when the user has cancelled.
#pragma once

#include <windows.h>

#include <atomic>
#include <boost/make_shared.hpp>
#include <cstdint>

#include "app/CDialogImpl.h"
#include "app/CIdleHandler.h"
#include "app/CMessageFilter.h"
#include "base/ScopedWin.h"
#include "base/WideString.h"
#include "install/InstallLocation.h"
#include "install/InstallWorker.h"
#include "install/LaunchInstaller.h"
#include "res/ResourceIds.h"

class CMainDlg : public CDialogImpl<CMainDlg>, public CMessageFilter, public CIdleHandler {
public:
    enum { IDD = IDD_MAINDLG };

    CMainDlg() = default;
    ~CMainDlg() override;

    BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                              LRESULT& result) override;
    // The dialog manager's keyboard handling (Escape becomes Cancel).
    BOOL PreTranslateMessage(MSG* msg) override;
    BOOL OnIdle() override { return FALSE; }

    // The installation run (src/install). Kept so the class keeps its interface: the run
    // reaches src/install directly (StartInstallWorker) and the tests call src/install,
    // so the dialog itself calls only StartApplication.
    static DWORD WINAPI InstallThreadProc(void* param) { return ::InstallThreadProc(param); }
    void RunInstallation() const { ::RunInstallation(GetWorkerState()); }
    bool LaunchInstaller(WideString databasePath) const {
        return ::LaunchInstaller(GetWorkerState(), databasePath);
    }
    static WideString GetInstallDir() { return ::GetInstallDir(); }
    static void StartApplication() { ::StartApplication(); }

    static bool IsUpdateSwitch(int argc, wchar_t** argv);

private:
    using IconHandle = ScopedHandle<HICON, ::DestroyIcon>;

    LRESULT OnInitDialog();
    void OnDestroy();
    void OnTimer();
    void OnStatus(uint32_t code);
    void CloseDialog(int exitCode);
    void ShowFailure(const WideString& message);
    WideString LoadText(unsigned baseId) const;
    WorkerState GetWorkerState() const { return WorkerState{m_hWnd, m_updateMode, m_cancelled}; }

    bool m_updateMode = false;
    KernelHandle m_workerThread;
    int m_stringIdOffset = 0;
    bool m_workerStarted = false;
    IconHandle m_bigIcon;
    IconHandle m_smallIcon;
    // Set when the dialog closes; the worker then starts no installer (WorkerState).
    boost::shared_ptr<std::atomic<bool>> m_cancelled = boost::make_shared<std::atomic<bool>>(false);
};
