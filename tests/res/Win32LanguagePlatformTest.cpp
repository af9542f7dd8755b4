// The real platform queries, against Wine's registry and modules.
#include "res/Win32LanguagePlatform.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "res/MultiLanguage.h"

namespace {

const wchar_t kKeyPath[] = L"Control Panel\\Desktop\\ResourceLocale";

// Gives each test its own ResourceLocale key and removes it afterwards.
class ResourceLocaleKey : public testing::Test {
protected:
    void SetUp() override { RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath); }
    void TearDown() override { RegDeleteKeyW(HKEY_CURRENT_USER, kKeyPath); }

    void Store(const void* data, DWORD size, DWORD type) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        LONG result = RegSetValueExW(key, nullptr, 0, type, static_cast<const BYTE*>(data), size);
        RegCloseKey(key);
        ASSERT_EQ(result, ERROR_SUCCESS);
    }

    void StoreText(const std::wstring& text) {
        Store(text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)), REG_SZ);
    }

    long Read(std::wstring* text, uint32_t* type) {
        wchar_t buffer[16] = {};
        uint32_t size = sizeof buffer;
        long result = platform.ReadResourceLocale(buffer, &size, type);
        if (result == ERROR_SUCCESS) *text = std::wstring(buffer, size / sizeof(wchar_t));
        return result;
    }

    Win32LanguagePlatform platform;
};

// Windows 98 as far as detection can tell, with the real registry behind it.
class RegistryOnlyPlatform : public Win32LanguagePlatform {
public:
    bool UserUiLanguage(uint16_t*) const override { return false; }
    uint32_t Version() const override { return 0xC0000A04; }
};

}  // namespace

TEST_F(ResourceLocaleKey, ReadsTheDefaultValue) {
    StoreText(L"0000040C");
    std::wstring text;
    uint32_t type = 0;
    ASSERT_EQ(Read(&text, &type), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<uint32_t>(REG_SZ));
    EXPECT_EQ(text, std::wstring(L"0000040C", 9));
}

TEST_F(ResourceLocaleKey, MissingKeyOrValueIsAnError) {
    std::wstring text;
    uint32_t type = 0;
    EXPECT_NE(Read(&text, &type), ERROR_SUCCESS);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_NE(Read(&text, &type), ERROR_SUCCESS);
}

TEST_F(ResourceLocaleKey, LongerValueDoesNotFit) {
    StoreText(L"000000000000040C");
    std::wstring text;
    uint32_t type = 0;
    EXPECT_EQ(Read(&text, &type), ERROR_MORE_DATA);
}

TEST_F(ResourceLocaleKey, ReportsTheValueType) {
    DWORD number = 0x040C;
    Store(&number, sizeof number, REG_DWORD);
    std::wstring text;
    uint32_t type = 0;
    ASSERT_EQ(Read(&text, &type), ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<uint32_t>(REG_DWORD));
}

TEST_F(ResourceLocaleKey, DetectionReadsTheRegistryOnWindows9x) {
    StoreText(L"411");
    MultiLanguage languages;
    EXPECT_EQ(languages.DetectUiLanguages(RegistryOnlyPlatform()), 0x0411);
    ASSERT_EQ(languages.GetLanguageCount(), 3);
    EXPECT_EQ(languages.GetLanguage(1), 0x0411u);
    EXPECT_EQ(languages.GetLanguage(2), 0x0800u);

    StoreText(L"French");  // "F" is a hexadecimal digit, "r" ends the number
    MultiLanguage french;
    EXPECT_EQ(french.DetectUiLanguages(RegistryOnlyPlatform()), 0x040F);  // Icelandic, converted

    StoreText(L"nothing");
    MultiLanguage none;
    EXPECT_EQ(none.DetectUiLanguages(RegistryOnlyPlatform()), 0x0800);
    EXPECT_EQ(none.GetLanguageCount(), 1);
}

TEST(Win32LanguagePlatform, UiLanguageFunctionsExistAndAgreeWithKernel32) {
    Win32LanguagePlatform platform;
    uint16_t user = 0, system = 0;
    ASSERT_TRUE(platform.UserUiLanguage(&user));
    ASSERT_TRUE(platform.SystemUiLanguage(&system));
    EXPECT_EQ(user, GetUserDefaultUILanguage());
    EXPECT_EQ(system, GetSystemDefaultUILanguage());
    EXPECT_EQ(platform.Version(), GetVersion());
    EXPECT_EQ(platform.Version() & 0x80000000u, 0u);  // an NT system
}

TEST(Win32LanguagePlatform, EnumeratesNtdllVersionLanguages) {
    Win32LanguagePlatform platform;
    std::vector<uint16_t> seen;
    bool listed = platform.EnumNtdllVersionLanguages(
        [](uint16_t language, void* context) {
            static_cast<std::vector<uint16_t>*>(context)->push_back(language);
            return true;
        },
        &seen);
    EXPECT_TRUE(listed);
    EXPECT_FALSE(seen.empty());
    // The visitor can stop the enumeration after the first language.
    int calls = 0;
    platform.EnumNtdllVersionLanguages(
        [](uint16_t, void* context) {
            ++*static_cast<int*>(context);
            return false;
        },
        &calls);
    EXPECT_EQ(calls, 1);
}
