// Points HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE of this process at two fresh scratch
// keys for the life of the object, so tests can shape SOFTWARE\Corvella freely without
// touching the session's registry, which the whole-installer tests share.
#pragma once

#include <windows.h>

class RegistrySandbox {
public:
    RegistrySandbox();
    ~RegistrySandbox();
    RegistrySandbox(const RegistrySandbox&) = delete;
    RegistrySandbox& operator=(const RegistrySandbox&) = delete;

    // Creates SOFTWARE\Corvella under the user's or the machine's scratch root.
    void CreateUserKey() { CreateProductKey(m_user); }
    void CreateMachineKey() { CreateProductKey(m_machine); }
    // Creates the key and writes InstallDir: text with its terminator, or raw bytes.
    void SetUserValue(const wchar_t* text) { SetValue(m_user, REG_SZ, text, (lstrlenW(text) + 1) * 2); }
    void SetMachineValue(const wchar_t* text) { SetValue(m_machine, REG_SZ, text, (lstrlenW(text) + 1) * 2); }
    void SetUserBytes(DWORD type, const void* data, DWORD size) { SetValue(m_user, type, data, size); }

private:
    static void CreateProductKey(HKEY root);
    static void SetValue(HKEY root, DWORD type, const void* data, DWORD size);

    wchar_t m_path[96];
    HKEY m_user = nullptr;
    HKEY m_machine = nullptr;
};
