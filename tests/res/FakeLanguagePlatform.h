// A scripted LanguagePlatform: each query answers what the test set, and counts its calls
// so tests can tell which detection branch ran.
#pragma once

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "res/LanguagePlatform.h"

class FakeLanguagePlatform : public LanguagePlatform {
public:
    static constexpr long kErrorFileNotFound = 2;
    static constexpr long kErrorMoreData = 234;
    static constexpr uint32_t kRegSz = 1;
    static constexpr uint32_t kRegExpandSz = 2;
    static constexpr uint32_t kRegDword = 4;
    static constexpr uint32_t kWindows98 = 0xC0000A04;     // 4.10, top bit set
    static constexpr uint32_t kWindowsNt4 = 0x05650004;    // 4.0 build 1381

    // UI-language functions: absent unless set.
    bool hasUserUiLanguage = false;
    uint16_t userUiLanguage = 0;
    bool hasSystemUiLanguage = false;
    uint16_t systemUiLanguage = 0;
    uint32_t version = kWindowsNt4;
    // HKCU\Control Panel\Desktop\ResourceLocale and its default value.
    bool hasResourceLocaleKey = false;
    bool hasResourceLocaleValue = false;
    uint32_t resourceLocaleType = kRegSz;
    std::vector<unsigned char> resourceLocaleBytes;
    // ntdll and the languages of its version resource, in enumeration order.
    bool hasNtdll = true;
    std::vector<uint16_t> ntdllVersionLanguages;

    mutable int versionCalls = 0;
    mutable int registryReads = 0;
    mutable int enumerations = 0;

    void SetUiLanguages(uint16_t user, uint16_t system) {
        hasUserUiLanguage = hasSystemUiLanguage = true;
        userUiLanguage = user;
        systemUiLanguage = system;
    }

    // A REG_SZ (or another type) holding text; with terminator the stored bytes end in a
    // zero unit, as RegSetValueExW stores them when given the terminator.
    void SetResourceLocale(const std::u16string& text, uint32_t type = kRegSz, bool terminator = true) {
        hasResourceLocaleKey = hasResourceLocaleValue = true;
        resourceLocaleType = type;
        std::u16string stored = text;
        if (terminator) stored.push_back(u'\0');
        resourceLocaleBytes.resize(stored.size() * sizeof(char16_t));
        std::memcpy(resourceLocaleBytes.data(), stored.data(), resourceLocaleBytes.size());
    }

    bool UserUiLanguage(uint16_t* language) const override {
        if (hasUserUiLanguage) *language = userUiLanguage;
        return hasUserUiLanguage;
    }

    bool SystemUiLanguage(uint16_t* language) const override {
        if (hasSystemUiLanguage) *language = systemUiLanguage;
        return hasSystemUiLanguage;
    }

    uint32_t Version() const override {
        ++versionCalls;
        return version;
    }

    // Answers like RegOpenKeyExW followed by RegQueryValueExW.
    long ReadResourceLocale(void* data, uint32_t* size, uint32_t* type) const override {
        ++registryReads;
        if (!hasResourceLocaleKey || !hasResourceLocaleValue) return kErrorFileNotFound;
        uint32_t needed = static_cast<uint32_t>(resourceLocaleBytes.size());
        *type = resourceLocaleType;
        if (needed > *size) {
            *size = needed;
            return kErrorMoreData;
        }
        std::copy(resourceLocaleBytes.begin(), resourceLocaleBytes.end(), static_cast<unsigned char*>(data));
        *size = needed;
        return 0;
    }

    bool EnumNtdllVersionLanguages(LanguageVisitor visit, void* context) const override {
        ++enumerations;
        if (!hasNtdll) return false;
        for (uint16_t language : ntdllVersionLanguages) {
            if (!visit(language, context)) return false;
        }
        return !ntdllVersionLanguages.empty();
    }
};
