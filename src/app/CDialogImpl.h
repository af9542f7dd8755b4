// A modeless dialog from template T::IDD of the module's resources, whose messages go
// through the derived class's message map (ProcessWindowMessage).
#pragma once

#include <windows.h>

#include "app/CWindow.h"

template <class T, class TBase = CWindow>
class CDialogImpl : public TBase {
public:
    CDialogImpl() = default;
    CDialogImpl(const CDialogImpl&) = delete;
    CDialogImpl& operator=(const CDialogImpl&) = delete;
    virtual ~CDialogImpl() = default;

    // The message map: true when the message was handled, with its result.
    virtual BOOL ProcessWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      LRESULT& result) = 0;
    virtual DLGPROC GetDialogProc() { return DialogProc; }
    // After the last message the window receives; the object may go away here.
    virtual void OnFinalMessage(HWND) {}

    // Creates the window; the dialog's initialisation runs inside. Null on failure.
    HWND Create(HINSTANCE resources, HWND parent, LPARAM initParam = 0) {
        s_creating = this;
        HWND window =
            ::CreateDialogParamW(resources, MAKEINTRESOURCEW(T::IDD), parent, GetDialogProc(), initParam);
        s_creating = nullptr;
        return window;
    }

private:
    // Binds the object to its window on the first message the dialog procedure sees
    // (WM_SETFONT or WM_INITDIALOG). Dialogs are created on one thread only.
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<CDialogImpl*>(::GetWindowLongPtrW(window, DWLP_USER));
        if (!self && s_creating) {
            self = s_creating;
            s_creating = nullptr;
            self->m_hWnd = window;
            ::SetWindowLongPtrW(window, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
        }
        if (!self) return FALSE;
        LRESULT result = 0;
        BOOL handled = self->ProcessWindowMessage(window, message, wParam, lParam, result);
        if (message == WM_NCDESTROY) {
            ::SetWindowLongPtrW(window, DWLP_USER, 0);
            self->m_hWnd = nullptr;
            self->OnFinalMessage(window);
        }
        if (!handled) return FALSE;
        switch (message) {
            // These answer through the procedure's own result.
            case WM_INITDIALOG:
            case WM_COMPAREITEM:
            case WM_VKEYTOITEM:
            case WM_CHARTOITEM:
            case WM_QUERYDRAGICON:
            case WM_CTLCOLORMSGBOX:
            case WM_CTLCOLOREDIT:
            case WM_CTLCOLORLISTBOX:
            case WM_CTLCOLORBTN:
            case WM_CTLCOLORDLG:
            case WM_CTLCOLORSCROLLBAR:
            case WM_CTLCOLORSTATIC:
                return static_cast<INT_PTR>(result);
            default:
                ::SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
                return TRUE;
        }
    }

    static inline CDialogImpl* s_creating = nullptr;
};
