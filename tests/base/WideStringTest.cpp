#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/WideString.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <thread>
#endif

#include "base/WideStringPrinter.h"

namespace {

std::u16string Units(const WideString& s) {
    return std::u16string(s.c_str(), s.GetLength());
}

TEST(WideStringEmpty, EveryEmptyStringSharesTheOneConstant) {
    WideString a;
    WideString b(nullptr);
    WideString c(u"");
    WideString d(u"abc", 0);
    EXPECT_TRUE(a.SharesBodyWith(b));
    EXPECT_TRUE(a.SharesBodyWith(c));
    EXPECT_TRUE(a.SharesBodyWith(d));
    EXPECT_TRUE(a.IsEmpty());
    ASSERT_NE(a.c_str(), nullptr);
    EXPECT_EQ(a.c_str()[0], u'\0');

    WideString e(u"text");
    EXPECT_FALSE(e.SharesBodyWith(a));
    e.Empty();
    EXPECT_TRUE(e.SharesBodyWith(a));
    e = u"again";
    e = static_cast<const char16_t*>(nullptr);
    EXPECT_TRUE(e.SharesBodyWith(a));
}

TEST(WideStringEmpty, TheConstantSurvivesAnyNumberOfCopiesAndReleases) {
    {
        std::vector<WideString> copies(1000);
        for (auto& copy : copies) copy = WideString();
    }
    WideString fresh;
    EXPECT_EQ(fresh.GetLength(), 0u);
    EXPECT_EQ(fresh.c_str()[0], u'\0');
    // A string made empty through its buffer goes back to the constant.
    WideString s(u"abc");
    s.GetBuffer(10);
    s.ReleaseBuffer(0);
    EXPECT_TRUE(s.SharesBodyWith(fresh));
    // Releasing a buffer that was never handed out leaves the constant alone.
    fresh.ReleaseBuffer(5);
    EXPECT_TRUE(fresh.IsEmpty());
}

TEST(WideStringCopy, CopiesShareUntilOneChanges) {
    WideString a(u"shared text");
    WideString b(a);
    WideString c;
    c = a;
    EXPECT_TRUE(a.SharesBodyWith(b));
    EXPECT_TRUE(a.SharesBodyWith(c));

    b += u"!";
    EXPECT_FALSE(a.SharesBodyWith(b));
    EXPECT_TRUE(a.SharesBodyWith(c));
    EXPECT_EQ(a, u"shared text");
    EXPECT_EQ(b, u"shared text!");

    char16_t* buffer = c.GetBuffer(0);
    EXPECT_FALSE(a.SharesBodyWith(c));
    buffer[0] = u'S';
    c.ReleaseBuffer();
    EXPECT_EQ(a, u"shared text");
    EXPECT_EQ(c, u"Shared text");
}

TEST(WideStringCopy, AssignmentToItselfKeepsTheText) {
    WideString a(u"self");
    WideString& alias = a;
    a = alias;
    EXPECT_EQ(a, u"self");
    a = std::move(alias);
    EXPECT_EQ(a, u"self");
    // Assigning a piece of its own text.
    a = a.c_str() + 2;
    EXPECT_EQ(a, u"lf");
}

TEST(WideStringCopy, MoveTakesTheBodyAndLeavesTheSourceEmpty) {
    WideString a(u"moving");
    WideString witness(a);
    WideString b(std::move(a));
    EXPECT_TRUE(b.SharesBodyWith(witness));
    EXPECT_TRUE(a.IsEmpty());  // NOLINT(bugprone-use-after-move): the moved-from state is specified
    WideString c;
    c = std::move(b);
    EXPECT_TRUE(c.SharesBodyWith(witness));
    EXPECT_TRUE(b.IsEmpty());  // NOLINT(bugprone-use-after-move)
    EXPECT_EQ(c, u"moving");
}

// The count is touched from several threads at once; ASan reports a lost or double free.
namespace {
void CopyManyTimes(const WideString& original) {
    for (int i = 0; i < 20000; ++i) {
        WideString copy(original);
        WideString another = copy;
        (void)another.GetLength();
    }
}
#ifdef _WIN32
// The mingw win32 thread model has no std::thread.
DWORD WINAPI CopyThread(void* parameter) {
    CopyManyTimes(*static_cast<const WideString*>(parameter));
    return 0;
}
#endif
}  // namespace

TEST(WideStringCopy, CopiesOnManyThreadsKeepTheCountRight) {
    WideString original(u"crossing threads");
#ifdef _WIN32
    HANDLE threads[4];
    for (HANDLE& thread : threads) {
        thread = CreateThread(nullptr, 0, CopyThread, &original, 0, nullptr);
        ASSERT_NE(thread, nullptr);
    }
    WaitForMultipleObjects(4, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
#else
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) threads.emplace_back([&original] { CopyManyTimes(original); });
    for (auto& thread : threads) thread.join();
#endif
    WideString last(original);
    EXPECT_TRUE(last.SharesBodyWith(original));
    EXPECT_EQ(last, u"crossing threads");
}

#ifdef _WIN32
TEST(WideStringText, TakesAndGivesWindowsWideText) {
    WideString s(L"wide text");
    EXPECT_EQ(s, u"wide text");
    EXPECT_EQ(std::wstring(s.w_str()), L"wide text");
    EXPECT_EQ(WideString(L"abcdef", 3), u"abc");
    WideString formatted;
    ASSERT_TRUE(formatted.Format(u"<%s>", L"wchar_t"));
    EXPECT_EQ(formatted, u"<wchar_t>");
}
#endif

TEST(WideStringText, LengthCountsEmbeddedZeros) {
    const char16_t units[] = {u'a', 0, u'b'};
    WideString s(units, 3);
    EXPECT_EQ(s.GetLength(), 3u);
    EXPECT_EQ(s[1], u'\0');
    EXPECT_EQ(s[2], u'b');
    EXPECT_NE(s, WideString(u"a"));
    EXPECT_EQ(s.c_str()[3], u'\0');
}

TEST(WideStringText, IndexPastTheEndGivesZero) {
    WideString s(u"ab");
    EXPECT_EQ(s[0], u'a');
    EXPECT_EQ(s[1], u'b');
    EXPECT_EQ(s[2], u'\0');
    EXPECT_EQ(s[1000], u'\0');
    EXPECT_EQ(WideString()[0], u'\0');
}

TEST(WideStringBuffer, KeepsTheTextAndTakesTheGivenLength) {
    WideString s(u"abc");
    char16_t* p = s.GetBuffer(10);
    EXPECT_EQ(std::u16string(p, 3), u"abc");
    p[3] = u'd';
    p[4] = u'e';
    p[5] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s, u"abcde");
    EXPECT_EQ(s.GetLength(), 5u);

    p = s.GetBuffer(0);
    s.ReleaseBuffer(2);
    EXPECT_EQ(s, u"ab");
    EXPECT_EQ(s.c_str()[2], u'\0');
}

TEST(WideStringBuffer, LengthIsBoundedByTheRoomHandedOut) {
    WideString s;
    char16_t* p = s.GetBuffer(4);
    for (int i = 0; i < 4; ++i) p[i] = u'x';
    // No terminator written: the search stops at the room that was asked for.
    s.ReleaseBuffer();
    EXPECT_EQ(s, u"xxxx");

    p = s.GetBuffer(3);
    s.ReleaseBuffer(1000);
    EXPECT_EQ(s.GetLength(), 4u);
}

TEST(WideStringBuffer, LargeBufferIsWritableToTheEnd) {
    WideString s;
    const size_t n = 100000;
    char16_t* p = s.GetBuffer(n);
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<char16_t>(u'a' + i % 26);
    p[n] = 0;
    s.ReleaseBuffer();
    EXPECT_EQ(s.GetLength(), n);
    EXPECT_EQ(s[n - 1], static_cast<char16_t>(u'a' + (n - 1) % 26));
}

TEST(WideStringConcat, AllFormsJoinInOrder) {
    WideString a(u"left");
    WideString b(u"right");
    EXPECT_EQ(a + b, u"leftright");
    EXPECT_EQ(a + u"-", u"left-");
    EXPECT_EQ(u"-" + b, u"-right");
    WideString c(a);
    c += b;
    c += u'!';
    c += u"?";
    EXPECT_EQ(c, u"leftright!?");
    EXPECT_EQ(a, u"left");
    EXPECT_EQ(b, u"right");
}

TEST(WideStringConcat, EmptyOperandsGiveTheOtherSideShared) {
    WideString a(u"only");
    WideString empty;
    EXPECT_TRUE((a + empty).SharesBodyWith(a));
    EXPECT_TRUE((empty + a).SharesBodyWith(a));
    WideString c;
    c += a;
    EXPECT_TRUE(c.SharesBodyWith(a));
    c += static_cast<const char16_t*>(nullptr);
    c += u"";
    EXPECT_TRUE(c.SharesBodyWith(a));
}

TEST(WideStringConcat, AppendingItselfOrItsOwnTail) {
    WideString s(u"ab");
    s += s;
    EXPECT_EQ(s, u"abab");
    s += s.c_str() + 2;
    EXPECT_EQ(s, u"ababab");
    // Again with room to spare, so the append happens in place.
    WideString t;
    char16_t* p = t.GetBuffer(64);
    p[0] = u'x';
    p[1] = u'y';
    t.ReleaseBuffer(2);
    t += t;
    t += t.c_str() + 1;
    EXPECT_EQ(t, u"xyxyyxy");
}

TEST(WideStringConcat, ManyAppendsKeepEveryUnit) {
    WideString s;
    std::u16string expected;
    for (int i = 0; i < 5000; ++i) {
        char16_t unit = static_cast<char16_t>(0x3000 + i % 200);
        s += unit;
        expected.push_back(unit);
    }
    EXPECT_EQ(Units(s), expected);
}

TEST(WideStringCompare, OrdersByCodeUnits) {
    EXPECT_LT(WideString(u"a").Compare(u"b"), 0);
    EXPECT_GT(WideString(u"b").Compare(u"a"), 0);
    EXPECT_EQ(WideString(u"abc").Compare(u"abc"), 0);
    // A prefix sorts first.
    EXPECT_LT(WideString(u"ab").Compare(WideString(u"abc")), 0);
    EXPECT_GT(WideString(u"abc").Compare(WideString(u"ab")), 0);
    // Case matters: 'B' (0x42) comes before 'a' (0x61).
    EXPECT_TRUE(WideString(u"B") < WideString(u"a"));
    // Units compare unsigned: U+FFFF is above U+0001.
    EXPECT_GT(WideString(u"\uFFFF").Compare(u"\u0001"), 0);
    // U+10000 is stored as D800 DC00, which sorts below U+E000 by code unit
    // (by code point it would sort above).
    EXPECT_TRUE(WideString(u"\U00010000") < WideString(u"\uE000"));
    EXPECT_FALSE(WideString(u"\uE000") < WideString(u"\U00010000"));
}

TEST(WideStringCompare, NullAndEmptyAndEmbeddedZeros) {
    WideString empty;
    EXPECT_EQ(empty.Compare(static_cast<const char16_t*>(nullptr)), 0);
    EXPECT_GT(WideString(u"x").Compare(static_cast<const char16_t*>(nullptr)), 0);
    EXPECT_EQ(empty, u"");
    const char16_t units[] = {u'a', 0, u'b'};
    WideString withZero(units, 3);
    // Against a zero-terminated text the comparison sees only "a".
    EXPECT_GT(withZero.Compare(u"a"), 0);
    EXPECT_EQ(withZero.Compare(WideString(units, 3)), 0);
    EXPECT_TRUE(WideString(u"a") < withZero);
    EXPECT_TRUE(WideString(u"a") != withZero);
}

}  // namespace
