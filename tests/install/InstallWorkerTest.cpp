// The worker's thread: what it posts, and that it owns its copy of the dialog's state.
#include <gtest/gtest.h>

#include "StatusWindow.h"
#include "install/InstallStatus.h"
#include "install/InstallWorker.h"

TEST(InstallWorker, ANullParameterEndsTheThreadWithOneAndPostsNothing) {
    EXPECT_EQ(InstallThreadProc(nullptr), 1u);
}

TEST(InstallWorker, RunsOnItsOwnCopyOfTheDialogStateAndPostsOneTerminalCode) {
    StatusWindow window;
    HANDLE thread;
    {
        // The state goes away at once, as the dialog may after an early close.
        WorkerState state{window.get(), false};
        thread = StartInstallWorker(state);
        state.window = nullptr;
    }
    ASSERT_TRUE(thread);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    EXPECT_EQ(code, 1u);
    // This test program carries no package.
    EXPECT_EQ(window.TakeCodes(), std::vector<uint32_t>{STATUS_READ_TOC_FAILED});
}
