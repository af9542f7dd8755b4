#include "res/MultiLanguage.h"

#include <windows.h>

#include <cwchar>

#include "res/LanguagePlatform.h"
#include "res/Win32LanguagePlatform.h"

namespace {

constexpr uint32_t kPrimaryLanguageMask = 0x3FF;
constexpr uint32_t kNeutralSystemDefault = 0x0800;  // LANG_NEUTRAL, SUBLANG_SYS_DEFAULT
constexpr uint32_t kWin9xFlag = 0x80000000;

uint16_t LowWord(uint32_t value) { return static_cast<uint16_t>(value & 0xFFFF); }

}  // namespace

MultiLanguage::~MultiLanguage() = default;

uint32_t MultiLanguage::GetLanguage(int32_t index) const noexcept {
    return index >= 0 && index < m_languageCount ? m_languages[index] : 0;
}

uint16_t MultiLanguage::AddLanguage(uint32_t language) {
    // Deliberately compares the value as passed with the converted values stored, so
    // 0x0C is added again after 0x0C0C put 0x040C in the list.
    for (int32_t i = 0; i < m_languageCount; ++i) {
        if (m_languages[i] == language) return LowWord(language);
    }
    if (m_languageCount >= kMaxLanguages) return 0;
    m_languages[m_languageCount++] = ConvertDefaultLocale(language);
    if (m_languageCount >= kMaxLanguages) return 0;
    // The primary language with the neutral sublanguage converts to that language's
    // default locale; it goes in even when it equals the entry just added.
    m_languages[m_languageCount++] = ConvertDefaultLocale(language & kPrimaryLanguageMask);
    return LowWord(language);
}

uint16_t MultiLanguage::DetectUiLanguages() { return DetectUiLanguages(Win32LanguagePlatform()); }

uint16_t MultiLanguage::DetectUiLanguages(const LanguagePlatform& platform) {
    if (!AddUiLanguages(platform)) {
        if (platform.Version() & kWin9xFlag)
            AddResourceLocale(platform);
        else
            AddNtdllLanguage(platform);
    }
    AppendNeutral();
    return LowWord(m_languages[0]);
}

bool MultiLanguage::AddUiLanguages(const LanguagePlatform& platform) {
    uint16_t language = 0;
    if (!platform.UserUiLanguage(&language)) return false;
    AddLanguage(language);
    if (platform.SystemUiLanguage(&language)) AddLanguage(language);
    return true;
}

// What swscanf(text, L"%x", &value) == 1 accepts: blanks, a sign, an optional 0x, then
// hexadecimal digits, the value wrapping at 32 bits; anything may follow. Written out
// because the C library's scanf brings its floating-point parsers (about 30 KiB) along.
static bool ScanHexNumber(const wchar_t* text, unsigned int* value) {
    const wchar_t* p = text;
    while (*p == L' ' || (*p >= L'\t' && *p <= L'\r')) ++p;
    bool negative = false;
    if (*p == L'+' || *p == L'-') negative = *p++ == L'-';
    auto digit = [](wchar_t c) -> int {
        if (c >= L'0' && c <= L'9') return c - L'0';
        if (c >= L'a' && c <= L'f') return c - L'a' + 10;
        if (c >= L'A' && c <= L'F') return c - L'A' + 10;
        return -1;
    };
    bool any = false;
    if (p[0] == L'0' && (p[1] == L'x' || p[1] == L'X')) {
        any = true;  // "0x" with no digit after it still reads as the number 0
        p += 2;
    }
    unsigned int result = 0;
    for (int d; (d = digit(*p)) >= 0; ++p) {
        result = result * 16u + static_cast<unsigned int>(d);
        any = true;
    }
    if (!any) return false;
    *value = negative ? 0u - result : result;
    return true;
}

// Windows 95/98/Me keep the UI language as a hexadecimal text in the registry.
void MultiLanguage::AddResourceLocale(const LanguagePlatform& platform) {
    constexpr size_t kUnits = 16;
    wchar_t text[kUnits + 1] = {};  // one more than is read, so the text always ends
    uint32_t size = kUnits * sizeof(wchar_t);
    uint32_t type = 0;
    if (platform.ReadResourceLocale(text, &size, &type) != ERROR_SUCCESS || type != REG_SZ) return;
    unsigned int value = 0;
    if (ScanHexNumber(text, &value)) AddLanguage(LowWord(value));
}

// Windows NT 4 has no UI-language function; the language of ntdll's version resource
// stands in for it. The last language enumerated wins.
void MultiLanguage::AddNtdllLanguage(const LanguagePlatform& platform) {
    uint16_t language = 0;
    platform.EnumNtdllVersionLanguages(
        [](uint16_t found, void* context) {
            *static_cast<uint16_t*>(context) = found;
            return true;
        },
        &language);
    if (language != 0) AddLanguage(language);
}

// Stored unconverted and without the duplicate test; when the list is full it takes the
// place of the tenth entry.
void MultiLanguage::AppendNeutral() {
    if (m_languageCount < kMaxLanguages)
        m_languages[m_languageCount++] = kNeutralSystemDefault;
    else
        m_languages[kMaxLanguages - 1] = kNeutralSystemDefault;
}
