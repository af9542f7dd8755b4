#include "app/CMainDlg.h"

#include <commctrl.h>

#include <cstdlib>

#include "app/CAppModule.h"
#include "app/CMessageLoop.h"
#include "install/InstallStatus.h"
#include "install/Product.h"
#include "res/StringIdOffset.h"

namespace {

const UINT_PTR kStartTimer = 1;
const UINT kStartDelayMs = 20;
const DWORD kWorkerWaitMs = 2000;

const wchar_t* FailureDetail(uint32_t code) {
    switch (code) {
        case STATUS_READ_TOC_FAILED:
            return L"Failed to read TOC";
        case STATUS_BAD_ENTRY_COUNT:
            return L"Incomplete or corrupt file";
        case STATUS_EXTRACT_FAILED:
            return L"Failed to extract installer";
        case STATUS_LAUNCH_FAILED:
            return L"Failed to launch the installer";
        case STATUS_WAIT_FAILED:
            return L"Unexpected termination of the installer";
        default:
            return L"";
    }
}

HICON LoadAppIcon(HINSTANCE module, int widthMetric, int heightMetric) {
    return static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                         GetSystemMetrics(widthMetric), GetSystemMetrics(heightMetric),
                                         LR_DEFAULTCOLOR));
}

WideString Caption(const wchar_t* suffix) {
    return WideString(kProductName) + WideString(suffix);
}

}  // namespace

CMainDlg::~CMainDlg() = default;

bool CMainDlg::IsUpdateSwitch(int argc, wchar_t** argv) {
    return argc > 1 && argv && argv[1] && wcscmp(argv[1], L"-update") == 0;
}

BOOL CMainDlg::ProcessWindowMessage(HWND, UINT message, WPARAM wParam, LPARAM, LRESULT& result) {
    result = 0;
    switch (message) {
        case WM_INITDIALOG:
            result = OnInitDialog();
            return TRUE;
        case WM_DESTROY:
            OnDestroy();
            return TRUE;
        case WM_TIMER:
            OnTimer();
            return TRUE;
        case WM_INSTALL_STATUS:
            OnStatus(static_cast<uint32_t>(wParam));
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                CloseDialog(LOWORD(wParam));  // OK ends with 1, Cancel with 2
                return TRUE;
            }
            return FALSE;
        default:
            return FALSE;
    }
}

BOOL CMainDlg::PreTranslateMessage(MSG* msg) {
    return IsDialogMessageW(m_hWnd, msg);
}

LRESULT CMainDlg::OnInitDialog() {
    m_workerThread.reset();
    m_stringIdOffset = SelectStringIdOffset();
    CenterWindow();

    HINSTANCE resources = g_appModule.GetResourceInstance();
    m_bigIcon.reset(LoadAppIcon(resources, SM_CXICON, SM_CYICON));
    SetIcon(m_bigIcon.get(), true);
    m_smallIcon.reset(LoadAppIcon(resources, SM_CXSMICON, SM_CYSMICON));
    SetIcon(m_smallIcon.get(), false);

    SendDlgItemMessage(IDC_BUSY_ANIMATION, ACM_OPENW, 0, IDR_BUSY_ANIMATION);
    SendDlgItemMessage(IDC_BUSY_ANIMATION, ACM_PLAY, static_cast<WPARAM>(-1), MAKELPARAM(0, 0xFFFF));

    if (CMessageLoop* loop = g_appModule.GetMessageLoop()) {
        loop->AddMessageFilter(this);
        loop->AddIdleHandler(this);
    }

    m_updateMode = IsUpdateSwitch(__argc, __wargv);
    SetWindowText(Caption(m_updateMode ? L" Updater" : L" Installer").w_str());
    WideString status;
    if (m_updateMode)
        status.Format(IDS_UPDATING + m_stringIdOffset, kProductName);
    else
        status.LoadString(IDS_INITIALIZING + m_stringIdOffset);
    SetDlgItemText(IDC_STATUS_TEXT, status.w_str());

    SetTimer(kStartTimer, kStartDelayMs);
    return 1;
}

void CMainDlg::OnTimer() {
    KillTimer(kStartTimer);
    // One run per process, whatever timer messages arrive.
    if (m_workerStarted) return;
    m_workerStarted = true;
    m_workerThread.reset(StartInstallWorker(GetWorkerState()));
}

void CMainDlg::OnStatus(uint32_t code) {
    if (code == STATUS_INSTALLING) {
        SetDlgItemText(IDC_STATUS_TEXT, LoadText(IDS_INSTALLING).w_str());
    } else if (code <= 100) {
        SetDlgItemText(IDC_STATUS_TEXT, L"");
    } else if (code == STATUS_DONE) {
        StartApplication();
        CloseDialog(1);
    } else if (code == STATUS_INSTALLER_FAILED) {
        CloseDialog(1);
    } else {
        WideString message;
        message.Format(IDS_INSTALL_FAILED + m_stringIdOffset, FailureDetail(code));
        ShowFailure(message);
        CloseDialog(1);
    }
}

void CMainDlg::ShowFailure(const WideString& message) {
    MessageBoxW(m_hWnd, message.w_str(), Caption(L" Installer").w_str(), MB_OK);
}

void CMainDlg::CloseDialog(int exitCode) {
    // The window may already be gone: a close request that came in while the error box
    // was up has closed the dialog from inside the box's loop.
    if (!m_hWnd) return;
    SendDlgItemMessage(IDC_BUSY_ANIMATION, ACM_STOP);
    // Before the wait: an extraction that ends inside it must not start the installer.
    m_cancelled->store(true);
    if (m_workerThread) WaitForSingleObject(m_workerThread.get(), kWorkerWaitMs);
    DestroyWindow();
    PostQuitMessage(exitCode);
}

void CMainDlg::OnDestroy() {
    if (CMessageLoop* loop = g_appModule.GetMessageLoop()) {
        loop->RemoveMessageFilter(this);
        loop->RemoveIdleHandler(this);
    }
}

WideString CMainDlg::LoadText(unsigned baseId) const {
    WideString text;
    text.LoadString(baseId + m_stringIdOffset);
    return text;
}
