#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>

#include "base/Utf8.h"
#include "base/WideStringPrinter.h"

namespace {

std::u16string Units(const WideString& s) {
    return std::u16string(s.c_str(), s.GetLength());
}

TEST(Utf8, KnownEncodingsOfEachLength) {
    EXPECT_EQ(Utf8FromWide(WideString(u"A")), "A");
    EXPECT_EQ(Utf8FromWide(WideString(u"\u00E9")), "\xC3\xA9");
    EXPECT_EQ(Utf8FromWide(WideString(u"\u20AC")), "\xE2\x82\xAC");
    EXPECT_EQ(Utf8FromWide(WideString(u"\U0001F600")), "\xF0\x9F\x98\x80");
    EXPECT_EQ(Units(WideFromUtf8("\xC3\xA9t\xC3\xA9")), u"\u00E9t\u00E9");
    EXPECT_EQ(Units(WideFromUtf8("\xF0\x9F\x98\x80")), u"\U0001F600");
    EXPECT_EQ(Units(WideFromUtf8("\xF4\x8F\xBF\xBF")), u"\U0010FFFF");
}

TEST(Utf8, EmptyAndEmbeddedZero) {
    EXPECT_TRUE(WideFromUtf8("").IsEmpty());
    EXPECT_EQ(Utf8FromWide(WideString()), "");
    EXPECT_EQ(Utf8FromWide(nullptr, 5), "");
    std::string withZero("a\0b", 3);
    WideString wide = WideFromUtf8(withZero);
    EXPECT_EQ(wide.GetLength(), 3u);
    EXPECT_EQ(Utf8FromWide(wide), withZero);
}

// Every Unicode scalar value, both ways, in one string.
TEST(Utf8, EveryScalarValueRoundTrips) {
    std::u16string all;
    size_t expectedBytes = 0;
    for (uint32_t code = 1; code <= 0x10FFFF; ++code) {
        if (code >= 0xD800 && code <= 0xDFFF) continue;
        if (code < 0x10000) {
            all.push_back(static_cast<char16_t>(code));
        } else {
            all.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
            all.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
        }
        expectedBytes += code < 0x80 ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
    }
    std::string utf8 = Utf8FromWide(all.data(), all.size());
    EXPECT_EQ(utf8.size(), expectedBytes);
    EXPECT_EQ(utf8.find("\xEF\xBF\xBD\xEF\xBF\xBD"), std::string::npos);  // nothing replaced
    EXPECT_TRUE(Units(WideFromUtf8(utf8)) == all);
}

TEST(Utf8, UnpairedSurrogatesBecomeReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    const char16_t loneHigh[] = {u'a', 0xD800};
    EXPECT_EQ(Utf8FromWide(loneHigh, 2), "a" + fffd);
    const char16_t loneLow[] = {0xDC00, u'b'};
    EXPECT_EQ(Utf8FromWide(loneLow, 2), fffd + "b");
    const char16_t reversed[] = {0xDC00, 0xD800};
    EXPECT_EQ(Utf8FromWide(reversed, 2), fffd + fffd);
    const char16_t highThenText[] = {0xD83D, u'x'};
    EXPECT_EQ(Utf8FromWide(highThenText, 2), fffd + "x");
    // A pair split by the given length is not read past it.
    const char16_t pair[] = {0xD83D, 0xDE00};
    EXPECT_EQ(Utf8FromWide(pair, 1), fffd);
}

struct BadInput {
    const char* name;
    std::string bytes;
    std::u16string expected;
};

class Utf8Invalid : public ::testing::TestWithParam<BadInput> {};

TEST_P(Utf8Invalid, EachMaximalBadPieceBecomesOneReplacement) {
    const BadInput& input = GetParam();
    EXPECT_TRUE(Units(WideFromUtf8(input.bytes)) == input.expected) << input.name;
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Utf8Invalid,
    ::testing::Values(BadInput{"stray continuation", "a\x80z", u"a\uFFFDz"},
                      BadInput{"two stray continuations", "\x80\xBF", u"\uFFFD\uFFFD"},
                      BadInput{"overlong two bytes", "\xC0\xAF", u"\uFFFD\uFFFD"},
                      BadInput{"overlong C1", "\xC1\xBF", u"\uFFFD\uFFFD"},
                      BadInput{"overlong three bytes", "\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},
                      BadInput{"overlong four bytes", "\xF0\x8F\xBF\xBF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      BadInput{"encoded surrogate", "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},
                      BadInput{"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
                      BadInput{"F5 lead", "\xF5\x80", u"\uFFFD\uFFFD"},
                      BadInput{"FF byte", "x\xFFy", u"x\uFFFDy"},
                      BadInput{"cut at the end", "ok\xE2\x82", u"ok\uFFFD"},
                      BadInput{"cut four bytes", "\xF0\x9F\x98", u"\uFFFD"},
                      BadInput{"cut before ASCII",
                               "\xE2\x82"
                               "A",
                               u"\uFFFDA"},
                      BadInput{"cut before a new lead", "\xE2\xC3\xA9", u"\uFFFD\u00E9"},
                      BadInput{"lead then zero", std::string("\xC3\0b", 3), std::u16string(u"\uFFFD\0b", 3)}),
    [](const ::testing::TestParamInfo<BadInput>& info) {
        std::string name;
        for (char c : std::string(info.param.name))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

}  // namespace
