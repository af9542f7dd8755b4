// Where the application is installed: HKCU before HKLM, closing backslashes trimmed,
// 518 bytes read, the default folder otherwise.
#include <gtest/gtest.h>

#include <string>

#include "RegistrySandbox.h"
#include "install/InstallLocation.h"

namespace {

std::wstring InstallDir() {
    return GetInstallDir().w_str();
}

const wchar_t kDefault[] = L"C:\\Program Files\\Corvella";

}  // namespace

TEST(GetInstallDir, DefaultFolderWhenNothingIsRegistered) {
    RegistrySandbox registry;
    EXPECT_EQ(InstallDir(), kDefault);
}

TEST(GetInstallDir, UserValueWithoutItsClosingBackslashes) {
    RegistrySandbox registry;
    registry.SetUserValue(L"D:\\Apps\\Corvella\\\\\\");
    registry.SetMachineValue(L"E:\\Machine");
    EXPECT_EQ(InstallDir(), L"D:\\Apps\\Corvella");
}

TEST(GetInstallDir, EmptyAndBackslashOnlyValuesGiveAnEmptyFolder) {
    RegistrySandbox registry;
    registry.SetUserValue(L"\\\\\\");
    EXPECT_EQ(InstallDir(), L"");
    registry.SetUserValue(L"");
    EXPECT_EQ(InstallDir(), L"");
    registry.SetUserValue(L"C:\\Inner\\Slash\\Kept");
    EXPECT_EQ(InstallDir(), L"C:\\Inner\\Slash\\Kept");
}

TEST(GetInstallDir, UserKeyWithoutTheValueHidesTheMachineValue) {
    RegistrySandbox registry;
    registry.CreateUserKey();
    registry.SetMachineValue(L"E:\\Machine\\");
    EXPECT_EQ(InstallDir(), kDefault);
}

TEST(GetInstallDir, MachineValueWhenTheUserHasNoKey) {
    RegistrySandbox registry;
    registry.SetMachineValue(L"E:\\Machine\\");
    EXPECT_EQ(InstallDir(), L"E:\\Machine");
    registry.CreateUserKey();
    EXPECT_EQ(InstallDir(), kDefault);
}

TEST(GetInstallDir, ReadsUpTo258UnitsAndFallsBackBeyond) {
    RegistrySandbox registry;
    std::wstring longest = L"C:\\" + std::wstring(255, L'a');  // 258 units and the terminator: 518 bytes
    registry.SetUserValue(longest.c_str());
    EXPECT_EQ(InstallDir(), longest);
    std::wstring tooLong = longest + L"b";
    registry.SetUserValue(tooLong.c_str());
    EXPECT_EQ(InstallDir(), kDefault);
}

TEST(GetInstallDir, TheValueTypeIsNotLookedAt) {
    RegistrySandbox registry;
    const wchar_t text[] = {L'F', L':', L'\\', L'x', L'\\'};  // no terminator stored
    registry.SetUserBytes(REG_BINARY, text, sizeof text);
    EXPECT_EQ(InstallDir(), L"F:\\x");
}

TEST(GetInstallDir, AValueNoFolderCanBeNamedIsUnreadableAndGivesTheDefault) {
    // It would reach the installer's command line between quotes; a quote in it would
    // close them and add arguments.
    const wchar_t* values[] = {L"C:\\x\" TRANSFORMS=\"C:\\evil.mst",
                               L"\"",
                               L"C:\\a\"b\\",
                               L"C:\\line\nbreak",
                               L"C:\\tab\there",
                               L"C:\\bell\x07"};
    for (const wchar_t* value : values) {
        RegistrySandbox registry;
        registry.SetUserValue(value);
        registry.SetMachineValue(L"E:\\Machine");  // unreadable is not missing: HKLM stays unasked
        EXPECT_EQ(InstallDir(), kDefault) << testing::PrintToString(std::wstring(value));
    }
}
