// Shows dialog 129 as the installer does, with the animation running, for a look at it.
//   res_dialog_look.exe [milliseconds] [frame]
// Ends after the given time (default: when Escape is pressed). With a frame number the
// animation stands still on that frame.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cwchar>
#include <cstdlib>

#include "base/WideString.h"
#include "res/ResourceIds.h"
#include "res/StringIdOffset.h"

namespace {

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        DestroyWindow(dialog);
        PostQuitMessage(0);
        return TRUE;
    }
    if (message == WM_TIMER) {
        DestroyWindow(dialog);
        PostQuitMessage(0);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    UINT milliseconds = argc > 1 ? static_cast<UINT>(std::wcstoul(argv[1], nullptr, 10)) : 0;
    int frame = argc > 2 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : -1;
    LocalFree(argv);

    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_ANIMATE_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    HWND dialog = CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAINDLG), nullptr, DialogProc, 0);
    if (dialog == nullptr) return 1;

    int offset = SelectStringIdOffset();
    WideString status;
    status.Format(static_cast<unsigned>(IDS_UPDATING + offset), u"Corvella");
    SetDlgItemTextW(dialog, IDC_STATUS_TEXT, status.w_str());
    SetWindowTextW(dialog, L"Corvella Updater");
    HICON big = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                              GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    HICON small = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    SendMessageW(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    SendMessageW(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));

    HWND animation = GetDlgItem(dialog, IDC_BUSY_ANIMATION);
    if (!Animate_OpenEx(animation, instance, MAKEINTRESOURCEW(IDR_BUSY_ANIMATION))) return 2;
    if (frame >= 0)
        Animate_Seek(animation, frame);
    else
        Animate_Play(animation, 0, -1, -1);

    // Centred on the screen, as the installer shows it.
    RECT rect;
    GetWindowRect(dialog, &rect);
    int width = rect.right - rect.left, height = rect.bottom - rect.top;
    SetWindowPos(dialog, nullptr, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                 (GetSystemMetrics(SM_CYSCREEN) - height) / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    ShowWindow(dialog, SW_SHOW);
    if (milliseconds > 0) SetTimer(dialog, 1, milliseconds, nullptr);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(dialog, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    DestroyIcon(big);
    DestroyIcon(small);
    return 0;
}
