#include "res/Win32LanguagePlatform.h"

#include <windows.h>

#include "base/ScopedWin.h"

namespace {

// The UI-language functions arrived with Windows 2000/Me, so they are looked up, not imported.
bool CallLanguageFunction(const char* name, uint16_t* language) {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return false;
    FARPROC proc = GetProcAddress(kernel, name);
    if (proc == nullptr) return false;
    using LanguageFunction = LANGID(WINAPI*)();
    auto function = reinterpret_cast<LanguageFunction>(reinterpret_cast<void (*)()>(proc));
    *language = function();
    return true;
}

struct VisitorCall {
    LanguagePlatform::LanguageVisitor visit;
    void* context;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR param) {
    auto* call = reinterpret_cast<VisitorCall*>(param);
    return call->visit(language, call->context) ? TRUE : FALSE;
}

}  // namespace

bool Win32LanguagePlatform::UserUiLanguage(uint16_t* language) const {
    return CallLanguageFunction("GetUserDefaultUILanguage", language);
}

bool Win32LanguagePlatform::SystemUiLanguage(uint16_t* language) const {
    return CallLanguageFunction("GetSystemDefaultUILanguage", language);
}

uint32_t Win32LanguagePlatform::Version() const {
    return GetVersion();
}

long Win32LanguagePlatform::ReadResourceLocale(void* data, uint32_t* size, uint32_t* type) const {
    LONG result = ERROR_SUCCESS;
    RegistryKey key = OpenRegistryKey(HKEY_CURRENT_USER, L"Control Panel\\Desktop\\ResourceLocale", &result);
    if (!key) return result;
    DWORD valueSize = *size;
    DWORD valueType = REG_NONE;
    result = RegQueryValueExW(key.get(), nullptr, nullptr, &valueType, static_cast<BYTE*>(data), &valueSize);
    *size = valueSize;
    *type = valueType;
    return result;
}

bool Win32LanguagePlatform::EnumNtdllVersionLanguages(LanguageVisitor visit, void* context) const {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr) return false;
    VisitorCall call{visit, context};
    return EnumResourceLanguagesW(ntdll, MAKEINTRESOURCEW(16), MAKEINTRESOURCEW(1), OnLanguage,
                                  reinterpret_cast<LONG_PTR>(&call)) != FALSE;
}
