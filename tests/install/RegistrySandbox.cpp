#include "RegistrySandbox.h"

#include <gtest/gtest.h>

#include <cwchar>

RegistrySandbox::RegistrySandbox() {
    static int serial = 0;
    swprintf(m_path, 96, L"Software\\CorvellaTests\\%lu-%d", GetCurrentProcessId(), ++serial);
    wchar_t path[128];
    swprintf(path, 128, L"%ls\\user", m_path);
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_user, nullptr),
        0);
    swprintf(path, 128, L"%ls\\machine", m_path);
    EXPECT_EQ(
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &m_machine, nullptr),
        0);
    EXPECT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, m_user), 0);
    EXPECT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, m_machine), 0);
}

RegistrySandbox::~RegistrySandbox() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    RegCloseKey(m_user);
    RegCloseKey(m_machine);
    RegDeleteTreeW(HKEY_CURRENT_USER, m_path);
}

void RegistrySandbox::CreateProductKey(HKEY root) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, L"SOFTWARE\\Corvella", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        0);
    RegCloseKey(key);
}

void RegistrySandbox::SetValue(HKEY root, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    ASSERT_EQ(
        RegCreateKeyExW(root, L"SOFTWARE\\Corvella", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
        0);
    EXPECT_EQ(RegSetValueExW(key, L"InstallDir", 0, type, static_cast<const BYTE*>(data), size), 0);
    RegCloseKey(key);
}
