#include <gtest/gtest.h>

#include <string>

#include "package/reader/FindBytes.h"

namespace {

ptrdiff_t Find(const std::string& haystack, const std::string& needle) {
    return FindBytes(reinterpret_cast<const uint8_t*>(haystack.data()), haystack.size(),
                     reinterpret_cast<const uint8_t*>(needle.data()), needle.size());
}

TEST(FindBytes, FindsTheFirstOccurrence) {
    EXPECT_EQ(Find("!NORBASFX!", "!NORBASFX!"), 0);
    EXPECT_EQ(Find("xx!NORBASFX!yy!NORBASFX!", "!NORBASFX!"), 2);
    EXPECT_EQ(Find("abcabd", "abd"), 3);
    // A candidate that fails late does not hide a match that starts inside it.
    EXPECT_EQ(Find("!!NORBASFX!", "!NORBASFX!"), 1);
    EXPECT_EQ(Find(std::string("a\0b\0c", 5), std::string("\0c", 2)), 3);
}

TEST(FindBytes, AnswersMinusOneWithoutReadingPastTheEnd) {
    EXPECT_EQ(Find("", "x"), -1);
    EXPECT_EQ(Find("!NORBASFX", "!NORBASFX!"), -1);
    EXPECT_EQ(Find("xxxxx!NORBASF", "!NORBASFX!"), -1);
    EXPECT_EQ(Find("!NORBASFX?", "!NORBASFX!"), -1);
    EXPECT_EQ(Find("abc", ""), 0);
}

}  // namespace
