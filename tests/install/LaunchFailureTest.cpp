// The installer cannot be started: the system's msiexec is a file that is no program.
// Next to this test lies a working msiexec.exe, where a launch that searched for
// msiexec would find it first and succeed.
#include <gtest/gtest.h>

#include "StatusWindow.h"
#include "SystemInstallerStandIn.h"
#include "install/InstallStatus.h"
#include "install/LaunchInstaller.h"

TEST(LaunchInstaller, AnInstallerThatCannotStartIsReportedAfterTheWindowIsHidden) {
    SystemInstallerStandIn noProgram(nullptr);
    ASSERT_TRUE(noProgram.IsReady());
    StatusWindow window(true);
    EXPECT_FALSE(LaunchInstaller({window.get(), false}, u"C:\\t\\\\Setup.msi"));
    EXPECT_EQ(window.TakeCodes(), std::vector<uint32_t>{STATUS_LAUNCH_FAILED});
    EXPECT_FALSE(window.IsVisible()) << "normal mode hides the window before creating the process";
}
