#include "res/StringIdOffset.h"

#include <windows.h>

#include "res/ResourceManager.h"

namespace {

constexpr unsigned kPrimaryLanguageMask = 0x3FF;
constexpr unsigned kFrench = 0x0C;
constexpr unsigned kJapanese = 0x11;

}  // namespace

int ChooseStringIdOffset(const MultiLanguage& languages) {
    if (languages.GetLanguageCount() <= 0) return kEnglishStringIdOffset;
    unsigned primary = (languages.GetLanguage(0) & 0xFFFF) & kPrimaryLanguageMask;
    if (primary == kFrench) return kFrenchStringIdOffset;
    if (primary == kJapanese) return kJapaneseStringIdOffset;
    return kEnglishStringIdOffset;
}

int SelectStringIdOffset() {
    ResourceManager::Instance()->DetectUiLanguages();
    ResourceManager::Instance()->AddLanguage(GetUserDefaultLangID());
    ResourceManager::Instance()->AddLanguage(GetSystemDefaultLangID());
    return ChooseStringIdOffset(*ResourceManager::Instance());
}
