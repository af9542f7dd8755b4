// The real platform queries behind language detection.
#pragma once

#include "res/LanguagePlatform.h"

class Win32LanguagePlatform : public LanguagePlatform {
public:
    bool UserUiLanguage(uint16_t* language) const override;
    bool SystemUiLanguage(uint16_t* language) const override;
    uint32_t Version() const override;
    long ReadResourceLocale(void* data, uint32_t* size, uint32_t* type) const override;
    bool EnumNtdllVersionLanguages(LanguageVisitor visit, void* context) const override;
};
