// The progress dialog, created from the stub's own resources on this thread: what it
// shows, what each status code does, how it ends and with which code.
#include <gtest/gtest.h>

#include <string>

#include "../install/RegistrySandbox.h"
#include "app/CAppModule.h"
#include "app/CMainDlg.h"
#include "app/CMessageLoop.h"
#include "install/InstallStatus.h"
#include "res/StringIdOffset.h"

namespace {

std::wstring Text(HWND window) {
    wchar_t text[1024] = {};
    GetWindowTextW(window, text, 1024);
    return text;
}

// One dialog with the loop registered, as Run sets it up. Without startWorker the first
// timer tick is taken away, so no worker runs and the test posts the status codes.
class DialogRun {
public:
    explicit DialogRun(bool startWorker = false) {
        g_appModule.Init(nullptr, GetModuleHandleW(nullptr));
        g_appModule.AddMessageLoop(&m_loop);
        m_window = m_dialog.Create(g_appModule.GetResourceInstance(), nullptr);
        if (!startWorker) KillTimer(m_window, 1);
    }
    ~DialogRun() {
        if (IsWindow(m_window)) DestroyWindow(m_window);
        g_appModule.RemoveMessageLoop();
        g_appModule.Term();
    }
    HWND window() const { return m_window; }
    std::wstring Status() const { return Text(GetDlgItem(m_window, 1000)); }
    void Post(uint32_t code) { PostMessageW(m_window, WM_INSTALL_STATUS, code, 0); }
    // Handles what is queued, as the loop would, without waiting for more.
    void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return;
            }
            if (!m_loop.PreTranslateMessage(&msg)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    int RunLoop() { return m_loop.Run(); }

private:
    CMessageLoop m_loop;
    CMainDlg m_dialog;
    HWND m_window = nullptr;
};

// Instead of a key for the box: a close request to the dialog while the box is up.
const UINT kCloseOwner = 0;

// Finds the error box the dialog owns, reads it and dismisses it with a key.
class BoxWatcher {
public:
    BoxWatcher(HWND owner, UINT key) : m_owner(owner), m_key(key) {
        m_thread = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
    }
    ~BoxWatcher() {
        WaitForSingleObject(m_thread, 15000);
        CloseHandle(m_thread);
    }
    std::wstring caption, text;
    int boxes = 0;

private:
    static DWORD WINAPI Watch(void* param) {
        auto* self = static_cast<BoxWatcher*>(param);
        for (int tries = 0; tries < 1000 && IsWindow(self->m_owner); ++tries, Sleep(10)) {
            HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr);
            for (; box; box = FindWindowExW(nullptr, box, L"#32770", nullptr)) {
                if (GetWindow(box, GW_OWNER) != self->m_owner || !IsWindowVisible(box)) continue;
                self->caption = Text(box);
                self->text = Text(GetDlgItem(box, 0xFFFF));
                ++self->boxes;
                if (self->m_key == kCloseOwner)
                    PostMessageW(self->m_owner, WM_CLOSE, 0, 0);
                else
                    PostMessageW(box, WM_KEYDOWN, self->m_key, 0);
                return 0;
            }
        }
        return 0;
    }
    HWND m_owner;
    UINT m_key;
    HANDLE m_thread;
};

int CountBoxes(HWND owner) {
    int count = 0;
    for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box;
         box = FindWindowExW(nullptr, box, L"#32770", nullptr))
        count += GetWindow(box, GW_OWNER) == owner && IsWindowVisible(box);
    return count;
}

// Waits for the first box, gives others time to join it, counts them, then closes
// every box until the dialog is gone.
DWORD WINAPI CountAndCloseBoxes(void* param) {
    auto* owner = static_cast<HWND*>(param);
    for (int tries = 0; tries < 1000 && !CountBoxes(*owner); ++tries) Sleep(10);
    Sleep(500);
    int seen = CountBoxes(*owner);
    while (IsWindow(*owner)) {
        for (HWND box = FindWindowExW(nullptr, nullptr, L"#32770", nullptr); box;
             box = FindWindowExW(nullptr, box, L"#32770", nullptr))
            if (GetWindow(box, GW_OWNER) == *owner) PostMessageW(box, WM_COMMAND, IDOK, 0);
        Sleep(20);
    }
    return static_cast<DWORD>(seen);
}

bool English() {
    return SelectStringIdOffset() == 0;
}

const wchar_t kFailure[] = L"Installation Failed, Contact customer support.\r\nDetails: ";

}  // namespace

TEST(MainDialog, StartsHiddenCentredWithTheInstallerTitleAndTheFirstStatus) {
    if (!English()) GTEST_SKIP() << "the texts checked are the English ones";
    DialogRun run;
    ASSERT_TRUE(run.window());
    EXPECT_FALSE(IsWindowVisible(run.window())) << "Run shows it";
    EXPECT_EQ(Text(run.window()), L"Corvella Installer");
    EXPECT_EQ(run.Status(), L"Initializing...");
    RECT frame;
    GetWindowRect(run.window(), &frame);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(run.window(), MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    EXPECT_NEAR(frame.left - work.left, work.right - frame.right, 1);
    EXPECT_NEAR(frame.top - work.top, work.bottom - frame.bottom, 1);
    PostMessageW(run.window(), WM_KEYDOWN, VK_ESCAPE, 0);  // through the loop's filter
    EXPECT_EQ(run.RunLoop(), 2);
    EXPECT_FALSE(IsWindow(run.window()));
}

TEST(MainDialog, UpdateModeComesOnlyFromTheExactFirstArgument) {
    if (!English()) GTEST_SKIP() << "the texts checked are the English ones";
    int savedCount = __argc;
    wchar_t** savedArgs = __wargv;
    wchar_t program[] = L"CorvellaSetup.exe", update[] = L"-update", other[] = L"-Update";
    wchar_t* updateArgs[] = {program, update, nullptr};
    wchar_t* otherArgs[] = {program, other, update, nullptr};
    __argc = 2;
    __wargv = updateArgs;
    {
        DialogRun run;
        EXPECT_EQ(Text(run.window()), L"Corvella Updater");
        EXPECT_EQ(run.Status(), L"Corvella is installing your updates and will start in a few moments...");
        run.Post(STATUS_INSTALLER_FAILED);
        EXPECT_EQ(run.RunLoop(), 1);
    }
    __argc = 3;
    __wargv = otherArgs;
    {
        DialogRun run;
        EXPECT_EQ(Text(run.window()), L"Corvella Installer");
        run.Post(STATUS_INSTALLER_FAILED);
        EXPECT_EQ(run.RunLoop(), 1);
    }
    __argc = savedCount;
    __wargv = savedArgs;
    EXPECT_TRUE(CMainDlg::IsUpdateSwitch(2, updateArgs));
    EXPECT_FALSE(CMainDlg::IsUpdateSwitch(1, updateArgs));
    EXPECT_FALSE(CMainDlg::IsUpdateSwitch(3, otherArgs));
}

TEST(MainDialog, ProgressCodesChangeOnlyTheStatusLine) {
    if (!English()) GTEST_SKIP() << "the texts checked are the English ones";
    DialogRun run;
    run.Post(STATUS_INSTALLING);
    run.Pump();
    EXPECT_EQ(run.Status(), L"Installing...");
    for (uint32_t code : {0u, 2u, 100u}) {
        SetDlgItemTextW(run.window(), 1000, L"before");
        run.Post(code);
        run.Pump();
        EXPECT_EQ(run.Status(), L"") << code;
        EXPECT_TRUE(IsWindow(run.window())) << code;
    }
    run.Post(STATUS_INSTALLER_FAILED);
    EXPECT_EQ(run.RunLoop(), 1);
    EXPECT_FALSE(IsWindow(run.window()));
}

TEST(MainDialog, SuccessEndsWithOneAndNoBox) {
    RegistrySandbox registry;  // nothing registered: nothing to start
    DialogRun run;
    BoxWatcher watcher(run.window(), VK_RETURN);
    run.Post(STATUS_DONE);
    EXPECT_EQ(run.RunLoop(), 1);
    EXPECT_EQ(watcher.boxes, 0);
}

TEST(MainDialog, EachFailureCodeShowsOneBoxWithItsDetailThenEndsWithOne) {
    if (!English()) GTEST_SKIP() << "the texts checked are the English ones";
    const struct {
        uint32_t code;
        const wchar_t* detail;
        UINT key;
    } cases[] = {
        {STATUS_READ_TOC_FAILED, L"Failed to read TOC", VK_RETURN},
        {STATUS_BAD_ENTRY_COUNT, L"Incomplete or corrupt file", VK_RETURN},
        {STATUS_EXTRACT_FAILED, L"Failed to extract installer", VK_RETURN},
        {STATUS_LAUNCH_FAILED, L"Failed to launch the installer", VK_ESCAPE},  // Escape dismisses the box
        {STATUS_WAIT_FAILED, L"Unexpected termination of the installer", VK_RETURN},
        {150, L"", VK_RETURN},
        {0xFFFFFFFFu, L"", VK_RETURN},
    };
    for (const auto& c : cases) {
        DialogRun run;
        BoxWatcher watcher(run.window(), c.key);
        run.Post(c.code);
        EXPECT_EQ(run.RunLoop(), 1) << c.code;
        EXPECT_FALSE(IsWindow(run.window()));
        EXPECT_EQ(watcher.caption, L"Corvella Installer") << c.code;
        EXPECT_EQ(watcher.text, std::wstring(kFailure) + c.detail) << c.code;
    }
}

TEST(MainDialog, ACloseRequestWhileTheBoxIsUpClosesOnceWithCancelsCode) {
    DialogRun run;
    BoxWatcher watcher(run.window(), kCloseOwner);
    run.Post(STATUS_READ_TOC_FAILED);
    EXPECT_EQ(run.RunLoop(), 2) << "the box returning must not close the dialog a second time";
    EXPECT_EQ(watcher.boxes, 1);
    EXPECT_FALSE(IsWindow(run.window()));
}

TEST(MainDialog, CommandsEndTheRunWithTheirIdsAndAForeignQuitWithItsCode) {
    {
        DialogRun run;
        PostMessageW(run.window(), WM_CLOSE, 0, 0);  // the dialog manager turns it into Cancel
        EXPECT_EQ(run.RunLoop(), 2);
    }
    {
        DialogRun run;
        PostMessageW(run.window(), WM_COMMAND, IDOK, 0);
        EXPECT_EQ(run.RunLoop(), 1);
    }
    {
        DialogRun run;
        PostQuitMessage(9);
        EXPECT_EQ(run.RunLoop(), 9);
        EXPECT_TRUE(IsWindow(run.window())) << "a foreign quit leaves the window to its owner";
    }
}

TEST(MainDialog, FurtherTimerMessagesStartNoSecondRun) {
    DialogRun run;
    for (int i = 0; i < 3; ++i) PostMessageW(run.window(), WM_TIMER, 1, 0);
    HWND owner = run.window();
    HANDLE counter = CreateThread(nullptr, 0, CountAndCloseBoxes, &owner, 0, nullptr);
    EXPECT_EQ(run.RunLoop(), 1);
    WaitForSingleObject(counter, 15000);
    DWORD boxes = 0;
    GetExitCodeThread(counter, &boxes);
    CloseHandle(counter);
    // Each run of this program, which carries no package, ends in one failure box.
    EXPECT_EQ(boxes, 1u) << "one worker, one run";
}

TEST(MainDialog, TheFirstTimerTickStartsTheWorkerWhoseFailureShowsInTheBox) {
    if (!English()) GTEST_SKIP() << "the texts checked are the English ones";
    DialogRun run(true);
    BoxWatcher watcher(run.window(), VK_RETURN);
    EXPECT_EQ(run.RunLoop(), 1);
    EXPECT_EQ(watcher.boxes, 1);
    EXPECT_EQ(watcher.text, std::wstring(kFailure) + L"Failed to read TOC")
        << "this program carries no package";
}
