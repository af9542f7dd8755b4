// The installer cannot be started: next to this test lies an msiexec.exe that is no
// program, and process creation takes the first msiexec it finds.
#include <gtest/gtest.h>

#include "StatusWindow.h"
#include "app/CMainDlg.h"
#include "install/InstallStatus.h"

TEST(LaunchInstaller, AnInstallerThatCannotStartIsReportedAfterTheWindowIsHidden) {
    StatusWindow window(true);
    EXPECT_FALSE(CMainDlg::LaunchInstaller({window.get(), false}, u"C:\\t\\\\Setup.msi"));
    EXPECT_EQ(window.TakeCodes(), std::vector<uint32_t>{STATUS_LAUNCH_FAILED});
    EXPECT_FALSE(window.IsVisible()) << "normal mode hides the window before creating the process";
}
