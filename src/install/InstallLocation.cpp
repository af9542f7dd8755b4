#include "install/InstallLocation.h"

#include "base/ScopedWin.h"
#include "install/Product.h"
// The shell headers need <windows.h> (from ScopedWin.h) before them.
// clang-format off
#include <shellapi.h>
#include <shlwapi.h>
// clang-format on

namespace {

const DWORD kValueBytes = 518;  // 259 units; the 260th holds the terminator

// Opens SOFTWARE\Corvella under root in the process's own registry view.
RegistryKey OpenProductKey(HKEY root) {
    wchar_t keyPath[128] = {};
    lstrcpyW(keyPath, L"SOFTWARE\\");
    lstrcatW(keyPath, kProductName);
    return OpenRegistryKey(root, keyPath);
}

// No folder name holds a double quote or a control character. Such a value would be
// pasted into the installer's command line (INSTALLDIR="...") and could close the
// quotes and add arguments of its own.
bool IsFolderText(const wchar_t* text, size_t length) {
    for (size_t i = 0; i < length; ++i)
        if (text[i] == L'"' || text[i] < 0x20) return false;
    return true;
}

// The value's text without closing backslashes; false when it cannot be read (missing,
// longer than the bytes offered, or no folder name). The type is not looked at.
bool ReadInstallDir(HKEY key, WideString& folder) {
    wchar_t value[MAX_PATH] = {};
    DWORD size = kValueBytes;
    if (RegQueryValueExW(key, L"InstallDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) !=
        ERROR_SUCCESS)
        return false;
    size_t length = wcslen(value);
    if (!IsFolderText(value, length)) return false;
    while (length > 0 && value[length - 1] == L'\\') value[--length] = 0;
    folder = WideString(value, length);
    return true;
}

}  // namespace

WideString GetInstallDir() {
    WideString folder = WideString(L"C:\\Program Files\\") + WideString(kProductName);
    // HKLM is asked only when the key does not exist for the user at all.
    RegistryKey key = OpenProductKey(HKEY_CURRENT_USER);
    if (!key) key = OpenProductKey(HKEY_LOCAL_MACHINE);
    if (key) ReadInstallDir(key.get(), folder);
    return folder;
}

void StartApplication() {
    WideString folder = GetInstallDir();
    if (!PathFileExistsW(folder.w_str())) return;
    WideString target = WideString(u"\"") + folder + u"\\" + WideString(kApplicationFile) + u"\"";
    ShellExecuteW(nullptr, L"open", target.w_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
