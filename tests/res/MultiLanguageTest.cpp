// The preference list: AddLanguage with its quirks, and every branch of detection through
// a scripted platform. ConvertDefaultLocale is the real one (Wine's).
#include "res/MultiLanguage.h"

#include <gtest/gtest.h>

#include <vector>

#include "res/FakeLanguagePlatform.h"
#include "res/StringIdOffset.h"

namespace {

using List = std::vector<uint32_t>;

List Entries(const MultiLanguage& languages) {
    List list;
    for (int32_t i = 0; i < languages.GetLanguageCount(); ++i) list.push_back(languages.GetLanguage(i));
    return list;
}

// A list of nine entries: the neutral entry of a detection that found nothing, then four
// languages of two entries each.
MultiLanguage NineEntries() {
    MultiLanguage languages;
    FakeLanguagePlatform nothing;
    nothing.hasNtdll = false;
    languages.DetectUiLanguages(nothing);
    for (uint32_t language : {0x0407u, 0x0410u, 0x0413u, 0x0416u}) languages.AddLanguage(language);
    return languages;
}

}  // namespace

TEST(MultiLanguageAdd, StoresTheDefaultLocaleAndThePrimaryLanguagesDefault) {
    MultiLanguage languages;
    EXPECT_EQ(languages.GetLanguageCount(), 0);
    EXPECT_EQ(languages.AddLanguage(0x0C0C), 0x0C0C);
    EXPECT_EQ(Entries(languages), (List{0x0C0C, 0x040C}));
    // Neutral sublanguages become the language's default locale.
    EXPECT_EQ(languages.AddLanguage(0x0011), 0x0011);
    EXPECT_EQ(Entries(languages), (List{0x0C0C, 0x040C, 0x0411, 0x0411}));
}

TEST(MultiLanguageAdd, AppendsThePrimaryFormEvenWhenItEqualsTheFirst) {
    MultiLanguage languages;
    languages.AddLanguage(0x0409);
    EXPECT_EQ(Entries(languages), (List{0x0409, 0x0409}));
}

TEST(MultiLanguageAdd, DuplicateTestComparesTheValueAsPassed) {
    MultiLanguage languages;
    languages.AddLanguage(0x0C0C);
    // Listed as passed: nothing changes, and the language comes back.
    EXPECT_EQ(languages.AddLanguage(0x0C0C), 0x0C0C);
    EXPECT_EQ(languages.AddLanguage(0x040C), 0x040C);  // 0x040C is stored (converted from 0x0C)
    EXPECT_EQ(Entries(languages), (List{0x0C0C, 0x040C}));
    // 0x0C converts to the stored 0x040C, but is not itself stored, so it goes in again.
    EXPECT_EQ(languages.AddLanguage(0x000C), 0x000C);
    EXPECT_EQ(Entries(languages), (List{0x0C0C, 0x040C, 0x040C, 0x040C}));
}

TEST(MultiLanguageAdd, DuplicateTestUsesAll32Bits) {
    MultiLanguage languages;
    languages.AddLanguage(0x040C);
    // The same language with a sort id in bits 16-19 is a different value.
    EXPECT_EQ(languages.AddLanguage(0x1040C), 0x040C);
    ASSERT_EQ(languages.GetLanguageCount(), 4);
    EXPECT_EQ(languages.GetLanguage(2), 0x1040Cu);
    EXPECT_EQ(languages.GetLanguage(3), 0x040Cu);
}

TEST(MultiLanguageAdd, NineEntriesTakeOnlyTheConvertedForm) {
    MultiLanguage languages = NineEntries();
    ASSERT_EQ(languages.GetLanguageCount(), 9);
    EXPECT_EQ(languages.AddLanguage(0x0C0C), 0);
    EXPECT_EQ(languages.GetLanguageCount(), 10);
    EXPECT_EQ(languages.GetLanguage(9), 0x0C0Cu);
}

TEST(MultiLanguageAdd, TenEntriesTakeNothing) {
    MultiLanguage languages = NineEntries();
    languages.AddLanguage(0x0C0C);
    List full = Entries(languages);
    ASSERT_EQ(full.size(), 10u);
    EXPECT_EQ(languages.AddLanguage(0x0411), 0);
    EXPECT_EQ(Entries(languages), full);
    // A listed value still counts as found, full or not.
    EXPECT_EQ(languages.AddLanguage(0x0C0C), 0x0C0C);
    EXPECT_EQ(Entries(languages), full);
}

TEST(MultiLanguageAdd, OutsideTheListReadsAsZero) {
    MultiLanguage languages;
    languages.AddLanguage(0x0409);
    EXPECT_EQ(languages.GetLanguage(-1), 0u);
    EXPECT_EQ(languages.GetLanguage(2), 0u);
    EXPECT_EQ(languages.GetLanguage(MultiLanguage::kMaxLanguages), 0u);
}

// Systems with GetUserDefaultUILanguage.

TEST(MultiLanguageDetect, FrenchBothWays) {
    FakeLanguagePlatform platform;
    platform.SetUiLanguages(0x040C, 0x040C);
    MultiLanguage languages;
    EXPECT_EQ(languages.DetectUiLanguages(platform), 0x040C);
    EXPECT_EQ(Entries(languages), (List{0x040C, 0x040C, 0x0800}));
    // The dialog's own additions find 0x040C listed.
    languages.AddLanguage(0x040C);
    languages.AddLanguage(0x040C);
    EXPECT_EQ(Entries(languages), (List{0x040C, 0x040C, 0x0800}));
    EXPECT_EQ(ChooseStringIdOffset(languages), kFrenchStringIdOffset);
    // Only the UI functions were asked.
    EXPECT_EQ(platform.versionCalls + platform.registryReads + platform.enumerations, 0);
}

TEST(MultiLanguageDetect, CanadianFrenchWithEnglishSystem) {
    FakeLanguagePlatform platform;
    platform.SetUiLanguages(0x0C0C, 0x0409);
    MultiLanguage languages;
    EXPECT_EQ(languages.DetectUiLanguages(platform), 0x0C0C);
    EXPECT_EQ(Entries(languages), (List{0x0C0C, 0x040C, 0x0409, 0x0409, 0x0800}));
    EXPECT_EQ(ChooseStringIdOffset(languages), kFrenchStringIdOffset);
}

TEST(MultiLanguageDetect, OffsetFollowsTheUiLanguage) {
    const struct {
        uint16_t ui;
        int offset;
    } cases[] = {{0x0411, kJapaneseStringIdOffset}, {0x0804, kEnglishStringIdOffset},
                 {0x0407, kEnglishStringIdOffset}, {0x100C, kFrenchStringIdOffset},
                 {0x0409, kEnglishStringIdOffset}};
    for (const auto& c : cases) {
        FakeLanguagePlatform platform;
        platform.SetUiLanguages(c.ui, 0x0409);
        MultiLanguage languages;
        languages.DetectUiLanguages(platform);
        EXPECT_EQ(ChooseStringIdOffset(languages), c.offset) << std::hex << c.ui;
    }
}

TEST(MultiLanguageDetect, MissingSystemFunctionIsSkipped) {
    FakeLanguagePlatform platform;
    platform.hasUserUiLanguage = true;
    platform.userUiLanguage = 0x0411;
    MultiLanguage languages;
    languages.DetectUiLanguages(platform);
    EXPECT_EQ(Entries(languages), (List{0x0411, 0x0411, 0x0800}));
    EXPECT_EQ(platform.versionCalls + platform.registryReads + platform.enumerations, 0);
}

TEST(MultiLanguageDetect, FullListLosesItsTenthEntryToTheNeutralOne) {
    MultiLanguage languages = NineEntries();
    languages.AddLanguage(0x0C0C);
    List before = Entries(languages);
    ASSERT_EQ(before.size(), 10u);
    FakeLanguagePlatform platform;
    platform.SetUiLanguages(0x0411, 0x0411);
    EXPECT_EQ(languages.DetectUiLanguages(platform), 0x0800);  // the first entry, from NineEntries
    List expected = before;
    expected[9] = 0x0800;
    EXPECT_EQ(Entries(languages), expected);
}

TEST(MultiLanguageDetect, NeutralEntryIsStoredWithoutDuplicateTest) {
    FakeLanguagePlatform nothing;
    nothing.hasNtdll = false;
    MultiLanguage languages;
    languages.DetectUiLanguages(nothing);
    languages.DetectUiLanguages(nothing);
    EXPECT_EQ(Entries(languages), (List{0x0800, 0x0800}));
}

// Windows 95/98/Me: the "ResourceLocale" value.

class MultiLanguageWin9x : public testing::Test {
protected:
    MultiLanguageWin9x() { platform.version = FakeLanguagePlatform::kWindows98; }

    List Detect() {
        platform.registryReads = platform.enumerations = 0;
        MultiLanguage languages;
        languages.DetectUiLanguages(platform);
        EXPECT_EQ(platform.registryReads, 1);
        EXPECT_EQ(platform.enumerations, 0);
        return Entries(languages);
    }

    FakeLanguagePlatform platform;
};

TEST_F(MultiLanguageWin9x, HexadecimalValueGivesTheLanguage) {
    platform.SetResourceLocale(u"0000040C");
    EXPECT_EQ(Detect(), (List{0x040C, 0x040C, 0x0800}));
    platform.SetResourceLocale(u"411");
    EXPECT_EQ(Detect(), (List{0x0411, 0x0411, 0x0800}));
    // Only the low 16 bits count.
    platform.SetResourceLocale(u"1230407");
    EXPECT_EQ(Detect(), (List{0x0407, 0x0407, 0x0800}));
}

TEST_F(MultiLanguageWin9x, NoKeyOrNoValueAddsNothing) {
    EXPECT_EQ(Detect(), (List{0x0800}));
    platform.hasResourceLocaleKey = true;
    EXPECT_EQ(Detect(), (List{0x0800}));
}

TEST_F(MultiLanguageWin9x, NoValueMeansEnglishEvenWhenTheDialogAddsFrench) {
    MultiLanguage languages;
    languages.DetectUiLanguages(platform);
    languages.AddLanguage(0x040C);
    languages.AddLanguage(0x040C);
    EXPECT_EQ(Entries(languages), (List{0x0800, 0x040C, 0x040C}));
    EXPECT_EQ(ChooseStringIdOffset(languages), kEnglishStringIdOffset);
}

TEST_F(MultiLanguageWin9x, ValueOfAnotherTypeAddsNothing) {
    platform.SetResourceLocale(u"0000040C", FakeLanguagePlatform::kRegExpandSz);
    EXPECT_EQ(Detect(), (List{0x0800}));
    platform.hasResourceLocaleValue = true;
    platform.resourceLocaleType = FakeLanguagePlatform::kRegDword;
    platform.resourceLocaleBytes = {0x0C, 0x04, 0x00, 0x00};
    EXPECT_EQ(Detect(), (List{0x0800}));
}

TEST_F(MultiLanguageWin9x, TextThatIsNotAHexadecimalNumberAddsNothing) {
    for (const char16_t* text : {u"", u"   ", u"xyz", u"-", u"G40C"}) {
        platform.SetResourceLocale(text);
        EXPECT_EQ(Detect(), (List{0x0800})) << "text of " << std::char_traits<char16_t>::length(text);
    }
}

TEST_F(MultiLanguageWin9x, ReadingStopsAtTheFirstNonDigit) {
    // "%x" takes the leading number and ignores the rest.
    platform.SetResourceLocale(u" 40c French");
    EXPECT_EQ(Detect(), (List{0x040C, 0x040C, 0x0800}));
}

TEST_F(MultiLanguageWin9x, PrefixAndSignReadAsScanfReadsThem) {
    platform.SetResourceLocale(u"0X411");
    EXPECT_EQ(Detect(), (List{0x0411, 0x0411, 0x0800}));
    platform.SetResourceLocale(u"+40C");
    EXPECT_EQ(Detect(), (List{0x040C, 0x040C, 0x0800}));
    // A negative number wraps at 32 bits; its low word is what is added.
    platform.SetResourceLocale(u"-FBF4");  // 0xFFFF040C
    EXPECT_EQ(Detect(), (List{0x040C, 0x040C, 0x0800}));
}

TEST_F(MultiLanguageWin9x, LongerValueFailsTheRead) {
    // 15 units and the terminator fill the 32-byte buffer exactly.
    platform.SetResourceLocale(u"00000000000040C");
    EXPECT_EQ(Detect(), (List{0x040C, 0x040C, 0x0800}));
    // One more unit does not fit.
    platform.SetResourceLocale(u"000000000000040C");
    EXPECT_EQ(Detect(), (List{0x0800}));
}

TEST_F(MultiLanguageWin9x, UnterminatedValueIsReadOnlyAsFarAsTheBuffer) {
    // 16 units stored without a terminator fill the buffer with no zero; the number ends
    // with the buffer, not in whatever memory follows it.
    platform.SetResourceLocale(u"000000000000040C", FakeLanguagePlatform::kRegSz, false);
    EXPECT_EQ(Detect(), (List{0x040C, 0x040C, 0x0800}));
}

TEST_F(MultiLanguageWin9x, UiLanguageFunctionsWinOverTheRegistry) {
    platform.SetResourceLocale(u"411");
    platform.SetUiLanguages(0x040C, 0x040C);
    MultiLanguage languages;
    languages.DetectUiLanguages(platform);
    EXPECT_EQ(Entries(languages), (List{0x040C, 0x040C, 0x0800}));
    EXPECT_EQ(platform.registryReads, 0);
}

// Windows NT without the UI functions: the languages of ntdll's version resource.

class MultiLanguageNt : public testing::Test {
protected:
    List Detect() {
        platform.registryReads = platform.enumerations = 0;
        MultiLanguage languages;
        languages.DetectUiLanguages(platform);
        EXPECT_EQ(platform.registryReads, 0);
        EXPECT_EQ(platform.enumerations, 1);
        return Entries(languages);
    }

    FakeLanguagePlatform platform;
};

TEST_F(MultiLanguageNt, LastEnumeratedLanguageWins) {
    platform.ntdllVersionLanguages = {0x0409, 0x040C};
    EXPECT_EQ(Detect(), (List{0x040C, 0x040C, 0x0800}));
}

TEST_F(MultiLanguageNt, LastLanguageZeroAddsNothing) {
    platform.ntdllVersionLanguages = {0x0411, 0x0000};
    EXPECT_EQ(Detect(), (List{0x0800}));
}

TEST_F(MultiLanguageNt, NoLanguageOrNoNtdllAddsNothing) {
    EXPECT_EQ(Detect(), (List{0x0800}));
    platform.hasNtdll = false;
    EXPECT_EQ(Detect(), (List{0x0800}));
}
