// The start of the installed application from the registered folder.
#include <gtest/gtest.h>

#include <string>

#include "RegistrySandbox.h"
#include "install/InstallLocation.h"

namespace {

std::wstring ProgramFolder() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.rfind(L'\\'));
}

// A fresh folder in the temporary folder, removed with what it holds.
class ScratchFolder {
public:
    explicit ScratchFolder(const wchar_t* name) {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        m_path = std::wstring(temp) + name + std::to_wstring(GetCurrentProcessId());
        CreateDirectoryW(m_path.c_str(), nullptr);
    }
    ~ScratchFolder() {
        DeleteFileW((m_path + L"\\Corvella.exe").c_str());
        DeleteFileW((m_path + L"\\started.txt").c_str());
        RemoveDirectoryW(m_path.c_str());
    }
    const std::wstring& path() const { return m_path; }

private:
    std::wstring m_path;
};

// What the fixture application wrote when it started, waiting for it a while.
std::string StartRecord(const std::wstring& folder, DWORD waitMs) {
    std::wstring record = folder + L"\\started.txt";
    for (DWORD waited = 0; GetFileAttributesW(record.c_str()) == INVALID_FILE_ATTRIBUTES && waited < waitMs;
         waited += 50)
        Sleep(50);
    Sleep(200);  // let the writer finish
    HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "";
    char buffer[4096] = {};
    DWORD read = 0;
    ReadFile(file, buffer, sizeof buffer - 1, &read, nullptr);
    CloseHandle(file);
    return std::string(buffer, read);
}

std::string Utf8(const std::wstring& text) {
    char buffer[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, buffer, sizeof buffer, nullptr, nullptr);
    return buffer;
}

}  // namespace

TEST(StartApplication, StartsTheExecutableInTheRegisteredFolderWhosePathHasSpaces) {
    ScratchFolder folder(L"Corvella start test ");
    ASSERT_TRUE(CopyFileW((ProgramFolder() + L"\\Corvella.exe").c_str(),
                          (folder.path() + L"\\Corvella.exe").c_str(), FALSE));
    RegistrySandbox registry;
    registry.SetUserValue((folder.path() + L"\\").c_str());
    StartApplication();
    std::string record = StartRecord(folder.path(), 10000);
    EXPECT_NE(record.find("exe=" + Utf8(folder.path()) + "\\Corvella.exe\n"), std::string::npos) << record;
    // The quoted target reaches the program as one argument: its own path, quoted.
    EXPECT_NE(record.find("cmdline=\"" + Utf8(folder.path()) + "\\Corvella.exe\"\n"), std::string::npos)
        << record;
}
