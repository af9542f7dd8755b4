// The wide string's texts from the string table: the stub's own and a few long test texts.
#include <gtest/gtest.h>

#include <string>

#include "base/WideString.h"
#include "res/ResourceIds.h"
#include "res/TestStringIds.h"

namespace {

std::u16string Text(const WideString& text) { return std::u16string(text.c_str(), text.GetLength()); }

std::u16string Loaded(unsigned id) {
    WideString text;
    text.LoadString(id);
    return Text(text);
}

// "0123456789" repeated up to length units.
std::u16string Runs(size_t length) {
    std::u16string text;
    while (text.size() < length) text += u"0123456789";
    text.resize(length);
    return text;
}

size_t Count(const std::u16string& text, const std::u16string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::u16string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

}  // namespace

TEST(WideStringLoad, EnglishTexts) {
    EXPECT_EQ(Loaded(IDR_MAINFRAME), u"Setup");
    EXPECT_EQ(Loaded(IDS_INITIALIZING), u"Initializing...");
    EXPECT_EQ(Loaded(IDS_INSTALLING), u"Installing...");
    EXPECT_EQ(Loaded(IDS_INSTALL_FAILED), u"Installation Failed, Contact customer support.\r\nDetails: %s");
    EXPECT_EQ(Loaded(IDS_UPDATING), u"%s is installing your updates and will start in a few moments...");
    EXPECT_EQ(Loaded(IDS_READY), u"Ready");
    EXPECT_EQ(Count(Loaded(IDS_ABOUT_PROMPT), u"\n"), 1u);
}

TEST(WideStringLoad, FrenchTexts) {
    EXPECT_EQ(Loaded(IDS_INITIALIZING + 20), u"Initialisation...");
    EXPECT_EQ(Loaded(IDS_INSTALLING + 20), u"Installation...");
    EXPECT_EQ(Loaded(IDS_INSTALL_FAILED + 20),
              u"L'installation a \u00e9chou\u00e9, veuillez contacter le service client.\r\nD\u00e9tails: %s");
    EXPECT_EQ(Loaded(IDS_UPDATING + 20),
              u"%s installe les mises \u00e0 jour et d\u00e9marrera dans quelques instants\u2026");
}

TEST(WideStringLoad, UpdateTextsHaveTheirLengths) {
    WideString french;
    EXPECT_TRUE(french.LoadString(225));
    EXPECT_EQ(french.GetLength(), 65u);
    EXPECT_EQ(french[64], u'\u2026');
    WideString english;
    EXPECT_TRUE(english.LoadString(205));
    EXPECT_EQ(english.GetLength(), 64u);
    EXPECT_EQ(Text(english).substr(61), u"...");
}

TEST(WideStringLoad, FailureTextsBreakTheLine) {
    for (unsigned id : {204u, 224u, 244u}) {
        std::u16string text = Loaded(id);
        size_t at = text.find(u"\r\n");
        ASSERT_NE(at, std::u16string::npos) << id;
        EXPECT_EQ(Count(text, u"\r"), 1u) << id;
        EXPECT_EQ(Count(text, u"\n"), 1u) << id;
        EXPECT_EQ(text.substr(text.size() - 2), u"%s") << id;
    }
}

TEST(WideStringLoad, JapaneseTextsFillTheirRoles) {
    for (unsigned id : {240u, 241u, 244u, 245u}) {
        std::u16string text = Loaded(id);
        ASSERT_FALSE(text.empty()) << id;
        // Japanese script: at least one unit in the kana or CJK ranges.
        bool japanese = false;
        for (char16_t unit : text) japanese = japanese || (unit >= 0x3040 && unit <= 0x9FFF);
        EXPECT_TRUE(japanese) << id;
        // A format may hold only the one %s it is given.
        size_t expected = id == 244 || id == 245 ? 1 : 0;
        EXPECT_EQ(Count(text, u"%"), expected) << id;
        EXPECT_EQ(Count(text, u"%s"), expected) << id;
    }
}

TEST(WideStringLoad, GapsInTheTableGiveEmptyTexts) {
    for (unsigned id : {202u, 203u, 222u, 223u, 242u, 243u, 206u, 999u, 65535u}) {
        WideString text(u"previous");
        EXPECT_FALSE(text.LoadString(id)) << id;
        EXPECT_TRUE(text.IsEmpty()) << id;
    }
}

TEST(WideStringLoad, LongTextsLoadWhole) {
    EXPECT_EQ(Loaded(IDS_TEST_254), Runs(254));
    EXPECT_EQ(Loaded(IDS_TEST_255), Runs(255));
    EXPECT_EQ(Loaded(IDS_TEST_511), Runs(511));
    EXPECT_EQ(Loaded(IDS_TEST_512), Runs(512));
}

TEST(WideStringLoad, ThreeHundredUnitsThroughOneRetry) {
    WideString text(u"something else");
    WideString shared = text;
    ASSERT_TRUE(text.LoadString(IDS_TEST_300));
    EXPECT_EQ(text.GetLength(), 300u);
    EXPECT_EQ(Text(text), Runs(299) + u"\u2026");
    // The retry wrote into a body of its own.
    EXPECT_EQ(Text(shared), u"something else");
    EXPECT_FALSE(text.SharesBodyWith(shared));
}

TEST(WideStringLoad, LoadedTextsShareLikeAnyOther) {
    WideString text;
    text.LoadString(IDS_TEST_300);
    WideString copy = text;
    EXPECT_TRUE(copy.SharesBodyWith(text));
    copy.LoadString(IDS_TEST_512);
    EXPECT_EQ(text.GetLength(), 300u);
    EXPECT_EQ(copy.GetLength(), 512u);
}

TEST(WideStringFormatById, FillsTheLoadedFormat) {
    WideString text;
    EXPECT_TRUE(text.Format(IDS_UPDATING, u"Corvella"));
    EXPECT_EQ(Text(text), u"Corvella is installing your updates and will start in a few moments...");
    EXPECT_TRUE(text.Format(IDS_UPDATING + 20, u"Corvella"));
    EXPECT_EQ(Text(text), u"Corvella installe les mises \u00e0 jour et d\u00e9marrera dans quelques instants\u2026");
    EXPECT_TRUE(text.Format(IDS_INSTALL_FAILED, u"Failed to read TOC"));
    EXPECT_EQ(Text(text), u"Installation Failed, Contact customer support.\r\nDetails: Failed to read TOC");
    EXPECT_TRUE(text.Format(IDS_UPDATING + 40, u"Corvella"));
    EXPECT_EQ(Text(text).rfind(u"Corvella", 0), 0u);
}

TEST(WideStringFormatById, LongFormatIsNotCut) {
    WideString text;
    EXPECT_TRUE(text.Format(IDS_TEST_FORMAT, 4096));
    EXPECT_EQ(Text(text), Runs(290) + u"count 4096");
}

TEST(WideStringFormatById, MissingFormatGivesAnEmptyText) {
    WideString text(u"previous");
    text.Format(202u, u"ignored");
    EXPECT_TRUE(text.IsEmpty());
}
