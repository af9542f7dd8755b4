// The language choice of the dialog on the real system. CTest runs this once per Unix
// locale (Wine takes the UI language from LANG) and says what to expect:
//   SFX_EXPECTED_OFFSET     the string-id offset
//   SFX_EXPECTED_LANGUAGES  the list afterwards, as hexadecimal LCIDs separated by commas
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "res/ResourceManager.h"
#include "res/StringIdOffset.h"

namespace {

std::string Variable(const char* name) {
    char value[256] = {};
    DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
    return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

std::string ListText(const MultiLanguage& languages) {
    std::string text;
    for (int32_t i = 0; i < languages.GetLanguageCount(); ++i) {
        char entry[16];
        snprintf(entry, sizeof entry, "%s%04lX", i == 0 ? "" : ",",
                 static_cast<unsigned long>(languages.GetLanguage(i)));
        text += entry;
    }
    return text;
}

}  // namespace

TEST(DetectOffset, MatchesTheLocaleWineRunsIn) {
    std::string offset = Variable("SFX_EXPECTED_OFFSET");
    std::string list = Variable("SFX_EXPECTED_LANGUAGES");
    ASSERT_FALSE(offset.empty()) << "SFX_EXPECTED_OFFSET is not set";
    ASSERT_FALSE(list.empty()) << "SFX_EXPECTED_LANGUAGES is not set";

    int chosen = SelectStringIdOffset();
    EXPECT_EQ(chosen, std::stoi(offset))
        << "UI language " << std::hex << GetUserDefaultUILanguage() << " under LANG=" << Variable("LANG")
        << " (Wine falls back to English when that locale is not generated: scripts/bootstrap.sh)";
    EXPECT_EQ(ListText(*ResourceManager::Instance()), list);
}
