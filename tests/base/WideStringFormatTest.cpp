#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "base/WideString.h"
#include "base/WideStringPrinter.h"

namespace {

template <typename... Args>
WideString F(const char16_t* format, Args... args) {
    WideString s;
    EXPECT_TRUE(s.Format(format, args...));
    return s;
}

std::u16string Widen(const std::string& ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

TEST(WideStringFormat, Integers) {
    EXPECT_EQ(F(u"%d", 0), u"0");
    EXPECT_EQ(F(u"%d", -42), u"-42");
    EXPECT_EQ(F(u"%i", 123456), u"123456");
    EXPECT_EQ(F(u"%d", INT_MIN), u"-2147483648");
    EXPECT_EQ(F(u"%d", INT_MAX), u"2147483647");
    EXPECT_EQ(F(u"%u", 4294967295u), u"4294967295");
    EXPECT_EQ(F(u"%u", -1), u"4294967295");
    EXPECT_EQ(F(u"%x", 0xBEEFu), u"beef");
    EXPECT_EQ(F(u"%X", 0xBEEFu), u"BEEF");
    EXPECT_EQ(F(u"%x", 0xFFFFFFFFu), u"ffffffff");
    EXPECT_EQ(F(u"Cause: %d, File Name: %s", 5, u"Unknown File"), u"Cause: 5, File Name: Unknown File");
}

TEST(WideStringFormat, FlagsWidthAndPrecision) {
    EXPECT_EQ(F(u"[%5d]", 42), u"[   42]");
    EXPECT_EQ(F(u"[%-5d]", 42), u"[42   ]");
    EXPECT_EQ(F(u"[%05d]", -42), u"[-0042]");
    EXPECT_EQ(F(u"[%+d]", 42), u"[+42]");
    EXPECT_EQ(F(u"[% d]", 42), u"[ 42]");
    EXPECT_EQ(F(u"[%+ d]", 42), u"[+42]");
    EXPECT_EQ(F(u"[%#x]", 255u), u"[0xff]");
    EXPECT_EQ(F(u"[%#X]", 255u), u"[0XFF]");
    EXPECT_EQ(F(u"[%#x]", 0u), u"[0]");
    EXPECT_EQ(F(u"[%#010x]", 255u), u"[0x000000ff]");
    EXPECT_EQ(F(u"[%.3d]", 7), u"[007]");
    EXPECT_EQ(F(u"[%8.3d]", -7), u"[    -007]");
    EXPECT_EQ(F(u"[%08.3d]", 7), u"[     007]");  // a precision turns the 0 flag off
    EXPECT_EQ(F(u"[%.0d]", 0), u"[]");
    EXPECT_EQ(F(u"[%5.0x]", 0u), u"[     ]");
    EXPECT_EQ(F(u"[%-05d]", 3), u"[3    ]");  // - beats 0
    EXPECT_EQ(F(u"[%+u]", 3u), u"[3]");       // signs only for signed conversions
    EXPECT_EQ(F(u"[% u]", 3u), u"[3]");
    EXPECT_EQ(F(u"[% x]", 3u), u"[3]");
}

TEST(WideStringFormat, StarTakesWidthAndPrecisionFromTheArguments) {
    EXPECT_EQ(F(u"[%*d]", 6, 42), u"[    42]");
    EXPECT_EQ(F(u"[%*d]", -6, 42), u"[42    ]");
    EXPECT_EQ(F(u"[%.*d]", 4, 42), u"[0042]");
    EXPECT_EQ(F(u"[%.*d]", -1, 42), u"[42]");
    EXPECT_EQ(F(u"[%*.*s]", 6, 2, u"abcdef"), u"[    ab]");
    EXPECT_EQ(F(u"[%0*d]", 5, 1), u"[00001]");
}

TEST(WideStringFormat, StringsAndUnits) {
    EXPECT_EQ(F(u"%s", u"plain"), u"plain");
    EXPECT_EQ(F(u"[%8s]", u"right"), u"[   right]");
    EXPECT_EQ(F(u"[%-8s]", u"left"), u"[left    ]");
    EXPECT_EQ(F(u"[%.3s]", u"precision"), u"[pre]");
    EXPECT_EQ(F(u"[%05s]", u"ab"), u"[000ab]");
    EXPECT_EQ(F(u"[%s]", static_cast<const char16_t*>(nullptr)), u"[(null)]");
    EXPECT_EQ(F(u"[%.3s]", static_cast<const char16_t*>(nullptr)), u"[(nu]");
    EXPECT_EQ(F(u"[%c]", u'Z'), u"[Z]");
    EXPECT_EQ(F(u"[%3c]", u'Z'), u"[  Z]");
    EXPECT_EQ(F(u"[%-3c]", u'Z'), u"[Z  ]");
    EXPECT_EQ(F(u"%c", 0x20AC), u"\u20AC");
    // Text beyond the BMP passes through as its two units.
    EXPECT_EQ(F(u"<%s>", u"\U0001F600"), u"<\U0001F600>");
    EXPECT_EQ(F(u"100%%"), u"100%");
    EXPECT_EQ(F(u"%s%%%d", u"a", 1), u"a%1");
}

TEST(WideStringFormat, PrecisionStopsReadingTheString) {
    // Not terminated: the precision must keep the formatter inside the array.
    const char16_t units[3] = {u'x', u'y', u'z'};
    EXPECT_EQ(F(u"%.3s", units), u"xyz");
}

TEST(WideStringFormat, SizeModifiersAreAcceptedAndIgnored) {
    EXPECT_EQ(F(u"%ld", 12), u"12");
    EXPECT_EQ(F(u"%hd", 12), u"12");
    EXPECT_EQ(F(u"%lx", 255u), u"ff");
    EXPECT_EQ(F(u"%lu", 7u), u"7");
    EXPECT_EQ(F(u"%ls|%hs", u"wide", u"also wide"), u"wide|also wide");
    EXPECT_EQ(F(u"%lc", u'q'), u"q");
}

TEST(WideStringFormat, UnknownConversionsStayAsWritten) {
    EXPECT_EQ(F(u"%q"), u"%q");
    EXPECT_EQ(F(u"[%5.2f]"), u"[%5.2f]");
    EXPECT_EQ(F(u"%lld", 1), u"%lld");  // a 64-bit size is not read as 32 bits
    EXPECT_EQ(F(u"abc%"), u"abc%");
    EXPECT_EQ(F(u"abc%-08"), u"abc%-08");
    // The conversions after an unknown one still take their own arguments.
    EXPECT_EQ(F(u"%y %d %s", 9, u"ok"), u"%y 9 ok");
}

TEST(WideStringFormat, NullFormatFailsAndKeepsTheText) {
    WideString s(u"before");
    EXPECT_FALSE(s.Format(static_cast<const char16_t*>(nullptr)));
    EXPECT_EQ(s, u"before");
}

TEST(WideStringFormat, EmptyFormatGivesTheEmptyString) {
    WideString s(u"before");
    EXPECT_TRUE(s.Format(u""));
    EXPECT_TRUE(s.SharesBodyWith(WideString()));
}

TEST(WideStringFormat, LongResultsAreNeverCut) {
    std::u16string big(100000, u'\u00E9');
    big[99999] = u'Z';
    WideString s = F(u"<%s>", big.c_str());
    ASSERT_EQ(s.GetLength(), 100002u);
    EXPECT_EQ(std::u16string(s.c_str(), s.GetLength()), u"<" + big + u">");

    WideString padded = F(u"%100000d", 5);
    ASSERT_EQ(padded.GetLength(), 100000u);
    EXPECT_EQ(padded[0], u' ');
    EXPECT_EQ(padded[99999], u'5');

    WideString many = F(u"%s%s%s%s", big.c_str(), big.c_str(), big.c_str(), big.c_str());
    EXPECT_EQ(many.GetLength(), 400000u);
}

TEST(WideStringFormat, MayFormatItsOwnText) {
    WideString s(u"abc");
    EXPECT_TRUE(s.Format(u"<%s|%s>", s.c_str(), s.c_str()));
    EXPECT_EQ(s, u"<abc|abc>");
    WideString pattern(u"%d-%s");
    EXPECT_TRUE(pattern.Format(pattern.c_str(), 7, pattern.c_str()));
    EXPECT_EQ(pattern, u"7-%d-%s");
}

TEST(WideStringFormat, FormattingACopyLeavesTheOriginal) {
    WideString a(u"original");
    WideString b(a);
    EXPECT_TRUE(b.Format(u"%s!", b.c_str()));
    EXPECT_EQ(a, u"original");
    EXPECT_EQ(b, u"original!");
}

// Every flag set, width and precision on every integer conversion against the C library.
TEST(WideStringFormat, IntegerConversionsMatchTheCLibrary) {
    const char* flagSets[] = {"", "-", "+", " ", "#", "0", "-+", "+0", " 0", "#0", "-#", "+ ", "-0", "-+ #0"};
    const char* widths[] = {"", "1", "5", "12"};
    const char* precisions[] = {"", ".", ".0", ".3", ".12"};
    const char conversions[] = {'d', 'i', 'u', 'x', 'X'};
    const int values[] = {0, 1, -1, 7, 42, -42, 0x7FFF, INT_MIN, INT_MAX, 0x1234ABCD};
    int checked = 0;
    for (const char* flags : flagSets) {
        for (const char* width : widths) {
            for (const char* precision : precisions) {
                for (char conversion : conversions) {
                    bool isSigned = conversion == 'd' || conversion == 'i';
                    // '#' is undefined in C for decimal conversions.
                    if (std::string(flags).find('#') != std::string::npos && conversion != 'x' &&
                        conversion != 'X')
                        continue;
#ifdef _WIN32
                    // mingw-w64's printf puts the space sign on %u too; C reserves it for signed conversions.
                    if (std::string(flags).find(' ') != std::string::npos && conversion == 'u') continue;
#endif
                    std::string format = std::string("%") + flags + width + precision + conversion;
                    for (int value : values) {
                        char expected[64];
                        if (isSigned)
                            std::snprintf(expected, sizeof expected, format.c_str(), value);
                        else
                            std::snprintf(expected, sizeof expected, format.c_str(),
                                          static_cast<unsigned>(value));
                        WideString actual;
                        std::u16string wideFormat = Widen(format);
                        if (isSigned)
                            actual.Format(wideFormat.c_str(), value);
                        else
                            actual.Format(wideFormat.c_str(), static_cast<unsigned>(value));
                        EXPECT_EQ(std::u16string(actual.c_str(), actual.GetLength()), Widen(expected))
                            << "format " << format << " value " << value;
                        ++checked;
                    }
                }
            }
        }
    }
    EXPECT_GT(checked, 10000);
}

TEST(WideStringFormat, StringFieldsMatchTheCLibrary) {
    const char* specs[] = {"%s", "%10s", "%-10s", "%.2s", "%10.2s", "%-10.4s", "%.0s", "%1s", "%.20s"};
    const char* texts[] = {"", "a", "abcdef", "longer than ten units"};
    for (const char* spec : specs) {
        for (const char* text : texts) {
            char expected[128];
            std::snprintf(expected, sizeof expected, spec, text);
            std::u16string wideSpec = Widen(spec);
            std::u16string wideText = Widen(text);
            WideString actual = F(wideSpec.c_str(), wideText.c_str());
            EXPECT_EQ(std::u16string(actual.c_str(), actual.GetLength()), Widen(expected))
                << "format " << spec << " text " << text;
        }
    }
}

}  // namespace
