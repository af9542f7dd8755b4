// Ordered preference list of locale identifiers (Windows LCIDs), most preferred first,
// filled from the user-interface language of the system. Only the first entry decides
// which language the installer speaks (see StringIdOffset.h).
#pragma once

#include <cstdint>

class LanguagePlatform;

class MultiLanguage {
public:
    static constexpr int32_t kMaxLanguages = 10;

    MultiLanguage() = default;
    virtual ~MultiLanguage();

    // Adds the UI language the system reports (three ways, by system generation) and then
    // the neutral 0x0800, which is stored even when the list is full. Returns the language
    // identifier of the first entry.
    uint16_t DetectUiLanguages();
    uint16_t DetectUiLanguages(const LanguagePlatform& platform);

    // Appends the default locale of `language` and of its primary language, unless
    // `language` itself (all 32 bits) is already listed. Returns the low 16 bits of
    // `language`, or 0 when the list was or became full.
    uint16_t AddLanguage(uint32_t language);

    int32_t GetLanguageCount() const noexcept { return m_languageCount; }
    // The entry at index, or 0 outside the list.
    uint32_t GetLanguage(int32_t index) const noexcept;

private:
    bool AddUiLanguages(const LanguagePlatform& platform);
    void AddResourceLocale(const LanguagePlatform& platform);
    void AddNtdllLanguage(const LanguagePlatform& platform);
    void AppendNeutral();

    uint32_t m_languages[kMaxLanguages] = {};
    int32_t m_languageCount = 0;
};
