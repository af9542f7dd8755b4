// The installer launch against the stand-in msiexec put at the system's msiexec path:
// the exact command lines, the window's visibility, and the outcome for each exit
// code. Next to this test lies an msiexec.exe that is no program, where a launch that
// searched for msiexec would find it first and fail.
#include <gtest/gtest.h>

#include <atomic>
#include <boost/make_shared.hpp>
#include <string>

#include "RegistrySandbox.h"
#include "StatusWindow.h"
#include "SystemInstallerStandIn.h"
#include "install/InstallStatus.h"
#include "install/LaunchInstaller.h"

namespace {

// Puts the stand-in in place, configures it for one call and reads back the command
// lines it was given. Made before any RegistrySandbox: it writes the user's registry.
class FakeInstaller {
public:
    explicit FakeInstaller(int exitCode)
        : m_standIn((SystemInstallerStandIn::OwnFolder() + L"msiexec-stand-in.exe").c_str()) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_log = std::wstring(temp) + L"msiexec-calls-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
        DeleteFileW(m_log.c_str());
        SetEnvironmentVariableW(L"FAKE_MSIEXEC_LOG", m_log.c_str());
        SetEnvironmentVariableW(L"FAKE_MSIEXEC_EXIT", std::to_wstring(exitCode).c_str());
    }
    ~FakeInstaller() { DeleteFileW(m_log.c_str()); }

    bool IsReady() const { return m_standIn.IsReady(); }

    std::string Calls() const {
        HANDLE file =
            CreateFileW(m_log.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return "";
        char buffer[4096] = {};
        DWORD read = 0;
        ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
        CloseHandle(file);
        return std::string(buffer, read);
    }

private:
    SystemInstallerStandIn m_standIn;
    std::wstring m_log;
};

const char16_t kDatabase[] = u"C:\\users\\Jo Smith\\Temp\\\\Setup.msi";

}  // namespace

TEST(LaunchInstaller, NormalModeHidesTheWindowAndQuotesTheDatabasePath) {
    FakeInstaller installer(0);
    ASSERT_TRUE(installer.IsReady());
    StatusWindow window(true);
    ASSERT_TRUE(window.IsVisible());
    EXPECT_TRUE(LaunchInstaller({window.get(), false}, kDatabase));
    EXPECT_EQ(installer.Calls(), "msiexec /i \"C:\\users\\Jo Smith\\Temp\\\\Setup.msi\"\n");
    EXPECT_FALSE(window.IsVisible());
    EXPECT_TRUE(window.TakeCodes().empty()) << "success is only returned";
}

TEST(LaunchInstaller, UpdateModeInstallsQuietlyIntoTheTrimmedRegisteredFolder) {
    FakeInstaller installer(0);
    ASSERT_TRUE(installer.IsReady());
    RegistrySandbox registry;
    registry.SetUserValue(L"D:\\Apps\\Corvella\\\\");
    StatusWindow window(true);
    EXPECT_TRUE(LaunchInstaller({window.get(), true}, kDatabase));
    EXPECT_EQ(
        installer.Calls(),
        "msiexec /i \"C:\\users\\Jo Smith\\Temp\\\\Setup.msi\" /quiet INSTALLDIR=\"D:\\Apps\\Corvella\"\n");
    EXPECT_TRUE(window.IsVisible()) << "the update window stays up";
}

TEST(LaunchInstaller, UpdateModeWithAnEmptyFolderPassesEmptyQuotes) {
    FakeInstaller installer(0);
    ASSERT_TRUE(installer.IsReady());
    RegistrySandbox registry;
    registry.SetUserValue(L"");
    StatusWindow window;
    EXPECT_TRUE(LaunchInstaller({window.get(), true}, u"C:\\t\\\\Setup.msi"));
    EXPECT_EQ(installer.Calls(), "msiexec /i \"C:\\t\\\\Setup.msi\" /quiet INSTALLDIR=\"\"\n");
}

TEST(LaunchInstaller, EveryNonZeroExitCodeIsAFailureReportedOnce) {
    for (int code : {1, 1603, 3010, -1}) {
        FakeInstaller installer(code);
        ASSERT_TRUE(installer.IsReady());
        StatusWindow window;
        for (bool update : {false, true}) {
            EXPECT_FALSE(LaunchInstaller({window.get(), update}, kDatabase)) << code;
            EXPECT_EQ(window.TakeCodes(), std::vector<uint32_t>{STATUS_INSTALLER_FAILED}) << code;
        }
    }
}

TEST(LaunchInstaller, ACancelledRunStartsNoInstallerAndPostsNothing) {
    FakeInstaller installer(0);
    ASSERT_TRUE(installer.IsReady());
    StatusWindow window(true);
    auto cancelled = boost::make_shared<std::atomic<bool>>(true);
    for (bool update : {false, true}) {
        EXPECT_FALSE(LaunchInstaller({window.get(), update, cancelled}, kDatabase)) << update;
        EXPECT_TRUE(window.TakeCodes().empty()) << update;
    }
    EXPECT_EQ(installer.Calls(), "");
    cancelled->store(false);
    EXPECT_TRUE(LaunchInstaller({window.get(), true, cancelled}, kDatabase));
    EXPECT_NE(installer.Calls(), "") << "the same run, not cancelled, starts it";
}
