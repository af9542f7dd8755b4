// The platform queries behind user-interface language detection. MultiLanguage asks
// through this interface so that every branch of detection can be tried with a test
// double; Win32LanguagePlatform is the real one.
#pragma once

#include <cstdint>

class LanguagePlatform {
public:
    virtual ~LanguagePlatform() = default;

    // Looks up GetUserDefaultUILanguage in the loaded kernel32 and calls it; false
    // when the function does not exist.
    virtual bool UserUiLanguage(uint16_t* language) const = 0;
    // The same for GetSystemDefaultUILanguage.
    virtual bool SystemUiLanguage(uint16_t* language) const = 0;
    // GetVersion; the top bit marks the Windows 95/98/Me family.
    virtual uint32_t Version() const = 0;
    // Reads the default value of HKEY_CURRENT_USER\Control Panel\Desktop\ResourceLocale
    // like RegQueryValueExW: *size is the buffer's size in bytes and becomes the value's.
    // Returns 0 on success, ERROR_MORE_DATA (234) when the value does not fit, another
    // error code when the key or the value is missing.
    virtual long ReadResourceLocale(void* data, uint32_t* size, uint32_t* type) const = 0;

    using LanguageVisitor = bool (*)(uint16_t language, void* context);
    // Enumerates the languages of ntdll's version resource (type 16, name 1), calling
    // visit for each until it returns false. False when ntdll is not loaded or has no
    // such resource.
    virtual bool EnumNtdllVersionLanguages(LanguageVisitor visit, void* context) const = 0;
};
