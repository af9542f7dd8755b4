// Dialog 129, the animation and the icon as Windows (here Wine) builds them from the
// resources. The exact template bytes are checked by check_resources.py.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/ResourceIds.h"

namespace {

INT_PTR CALLBACK NoHandler(HWND, UINT, WPARAM, LPARAM) { return FALSE; }

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

std::wstring TextOf(HWND window) {
    wchar_t text[128] = {};
    GetWindowTextW(window, text, 128);
    return text;
}

class Dialog129 : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_ANIMATE_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
    }

    void SetUp() override {
        dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MAINDLG), nullptr, NoHandler, 0);
        ASSERT_NE(dialog, nullptr) << "error " << GetLastError();
    }

    void TearDown() override {
        if (dialog != nullptr) DestroyWindow(dialog);
    }

    // A control's rectangle in dialog units converted to pixels; like the dialog manager,
    // converts position and size each on its own.
    RECT Expected(int x, int y, int width, int height) const {
        RECT position = {x, y, 0, 0};
        RECT size = {0, 0, width, height};
        MapDialogRect(dialog, &position);
        MapDialogRect(dialog, &size);
        return {position.left, position.top, position.left + size.right, position.top + size.bottom};
    }

    RECT Actual(HWND control) const {
        RECT rect;
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    HWND dialog = nullptr;
};

void ExpectSameRect(const RECT& actual, const RECT& expected, const char* what) {
    EXPECT_EQ(actual.left, expected.left) << what;
    EXPECT_EQ(actual.top, expected.top) << what;
    EXPECT_EQ(actual.right, expected.right) << what;
    EXPECT_EQ(actual.bottom, expected.bottom) << what;
}

}  // namespace

TEST_F(Dialog129, IsAnInvisibleToolWindowWithoutCloseBox) {
    LONG style = GetWindowLongW(dialog, GWL_STYLE);
    EXPECT_EQ(style & WS_POPUP, WS_POPUP);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_EQ(style & WS_SYSMENU, 0);
    EXPECT_FALSE(IsWindowVisible(dialog));
    EXPECT_EQ(GetWindowLongW(dialog, GWL_EXSTYLE) & WS_EX_TOOLWINDOW, WS_EX_TOOLWINDOW);
    EXPECT_EQ(TextOf(dialog), L"<appname> Installer");
    RECT client;
    GetClientRect(dialog, &client);
    ExpectSameRect(client, Expected(0, 0, 285, 54), "client area");
}

TEST_F(Dialog129, HasItsFourControlsInOrder) {
    std::vector<HWND> children;
    for (HWND child = GetWindow(dialog, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        children.push_back(child);
    ASSERT_EQ(children.size(), 4u);
    EXPECT_EQ(GetDlgCtrlID(children[0]), IDOK);
    EXPECT_EQ(GetDlgCtrlID(children[1]), IDCANCEL);
    EXPECT_EQ(GetDlgCtrlID(children[2]), IDC_STATUS_TEXT);
    EXPECT_EQ(GetDlgCtrlID(children[3]), IDC_BUSY_ANIMATION);
}

TEST_F(Dialog129, ButtonsAreHiddenAndOkIsDisabled) {
    HWND ok = GetDlgItem(dialog, IDOK);
    HWND cancel = GetDlgItem(dialog, IDCANCEL);
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(_wcsicmp(ClassOf(ok).c_str(), L"Button"), 0);
    EXPECT_EQ(_wcsicmp(ClassOf(cancel).c_str(), L"Button"), 0);
    EXPECT_EQ(TextOf(ok), L"OK");
    EXPECT_EQ(TextOf(cancel), L"Cancel");
    EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_EQ(GetWindowLongW(cancel, GWL_STYLE) & WS_VISIBLE, 0);
    EXPECT_FALSE(IsWindowEnabled(ok));
    EXPECT_TRUE(IsWindowEnabled(cancel));
    EXPECT_EQ(GetWindowLongW(ok, GWL_STYLE) & 0xF, BS_DEFPUSHBUTTON);
    EXPECT_EQ(GetWindowLongW(cancel, GWL_STYLE) & 0xF, BS_PUSHBUTTON);
    ExpectSameRect(Actual(ok), Expected(21, 37, 50, 14), "OK");
    ExpectSameRect(Actual(cancel), Expected(228, 36, 50, 14), "Cancel");
}

TEST_F(Dialog129, StatusTextAndAnimationAreVisibleChildren) {
    HWND status = GetDlgItem(dialog, IDC_STATUS_TEXT);
    HWND animation = GetDlgItem(dialog, IDC_BUSY_ANIMATION);
    ASSERT_NE(status, nullptr);
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(_wcsicmp(ClassOf(status).c_str(), L"Static"), 0);
    EXPECT_EQ(_wcsicmp(ClassOf(animation).c_str(), ANIMATE_CLASSW), 0);
    EXPECT_EQ(GetWindowLongW(status, GWL_STYLE), 0x50020000);
    EXPECT_EQ(GetWindowLongW(animation, GWL_STYLE) & 0xFFFF000F, 0x50000002);
    ExpectSameRect(Actual(status), Expected(41, 23, 237, 8), "status");
    ExpectSameRect(Actual(animation), Expected(18, 22, 16, 16), "animation");
}

TEST_F(Dialog129, AnimationOpensAndPlays) {
    HWND animation = GetDlgItem(dialog, IDC_BUSY_ANIMATION);
    ASSERT_TRUE(Animate_OpenEx(animation, GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_BUSY_ANIMATION)));
    EXPECT_TRUE(Animate_Play(animation, 0, -1, -1));
    EXPECT_TRUE(Animate_Stop(animation));
    // A resource that is not there is refused.
    EXPECT_FALSE(Animate_OpenEx(animation, GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_BUSY_ANIMATION + 1)));
}

TEST(Icon128, LoadsAtEverySizeTheWindowAsks) {
    for (int size : {16, 24, 32, 48, 64, 256}) {
        HICON icon = static_cast<HICON>(
            LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME), IMAGE_ICON, size, size, 0));
        ASSERT_NE(icon, nullptr) << size;
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info)) << size;
        BITMAP colour = {};
        ASSERT_NE(info.hbmColor, nullptr) << size;
        GetObjectW(info.hbmColor, sizeof colour, &colour);
        EXPECT_EQ(colour.bmWidth, size);
        EXPECT_EQ(colour.bmHeight, size);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
}
