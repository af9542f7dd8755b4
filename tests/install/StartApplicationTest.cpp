// The start of the installed application from the registered folder.
#include <gtest/gtest.h>

#include <string>

#include "RegistrySandbox.h"
#include "install/InstallLocation.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\'));
}

// What the fixture application wrote when it started, waiting for it a while.
std::string StartRecord(const WideString& record, DWORD waitMs) {
    for (DWORD waited = 0; !PathExists(record) && waited < waitMs; waited += 50) Sleep(50);
    Sleep(200);  // let the writer finish
    return PathExists(record) ? ReadString(record) : std::string();
}

}  // namespace

TEST(StartApplication, StartsTheExecutableInTheRegisteredFolderWhosePathHasSpaces) {
    ScratchFolder folder("Corvella start test ");
    ASSERT_TRUE(
        CopyFileW((ProgramFolder() + L"\\Corvella.exe").c_str(), (folder / "Corvella.exe").w_str(), FALSE));
    RegistrySandbox registry;
    registry.SetUserValue((folder.Path() + u"\\").w_str());
    StartApplication();
    std::string record = StartRecord(folder / "started.txt", 10000);
    EXPECT_NE(record.find("exe=" + Narrow(folder / "Corvella.exe") + "\n"), std::string::npos) << record;
    // The quoted target reaches the program as one argument: its own path, quoted.
    EXPECT_NE(record.find("cmdline=\"" + Narrow(folder / "Corvella.exe") + "\"\n"), std::string::npos)
        << record;
}
