#include "SystemInstallerStandIn.h"

#include <windows.h>

namespace {

const wchar_t kOverridesKey[] = L"Software\\Wine\\DllOverrides";
const wchar_t kOverrideName[] = L"msiexec.exe";

bool WriteNoProgram(const std::wstring& path) {
    HANDLE file =
        CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const char text[] = "This is no program.\n";
    DWORD written = 0;
    BOOL ok = WriteFile(file, text, sizeof text - 1, &written, nullptr);
    CloseHandle(file);
    return ok && written == sizeof text - 1;
}

void SetOverride(const wchar_t* value) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kOverridesKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    if (value != nullptr)
        RegSetValueExW(key, kOverrideName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((lstrlenW(value) + 1) * sizeof(wchar_t)));
    else
        RegDeleteValueW(key, kOverrideName);
    RegCloseKey(key);
}

}  // namespace

SystemInstallerStandIn::SystemInstallerStandIn(const wchar_t* replacement) {
    wchar_t folder[MAX_PATH] = {};
    UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    m_path = std::wstring(folder, length) + L"\\msiexec.exe";
    m_saved = m_path + L".sfx-saved";
    // A saved copy that exists already is the real one, left by a run that was killed.
    if (GetFileAttributesW(m_saved.c_str()) == INVALID_FILE_ATTRIBUTES &&
        !MoveFileW(m_path.c_str(), m_saved.c_str()))
        return;
    SetOverride(L"native");
    m_ready = replacement != nullptr ? CopyFileW(replacement, m_path.c_str(), FALSE) != FALSE
                                     : WriteNoProgram(m_path);
}

SystemInstallerStandIn::~SystemInstallerStandIn() {
    if (m_saved.empty() || GetFileAttributesW(m_saved.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    MoveFileExW(m_saved.c_str(), m_path.c_str(), MOVEFILE_REPLACE_EXISTING);
    SetOverride(nullptr);
}

std::wstring SystemInstallerStandIn::OwnFolder() {
    wchar_t path[MAX_PATH * 2] = {};
    DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH * 2);
    std::wstring folder(path, length);
    return folder.substr(0, folder.find_last_of(L'\\') + 1);
}
