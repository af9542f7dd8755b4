#include <gtest/gtest.h>

#include <string>

#include "package/EntryName.h"

namespace {

bool Valid(const std::u16string& name) { return IsValidEntryName(name.c_str(), name.size()); }

TEST(EntryName, PlainFileNamesAreAccepted) {
    EXPECT_TRUE(Valid(u"Setup.msi"));
    EXPECT_TRUE(Valid(u"a"));
    EXPECT_TRUE(Valid(u".hidden"));
    EXPECT_TRUE(Valid(u"...x"));
    EXPECT_TRUE(Valid(u"na\u00efve \u65e5\u672c.txt"));
    EXPECT_TRUE(Valid(std::u16string(255, u'x')));
}

TEST(EntryName, AnythingThatCouldNameAnotherPlaceIsRefused) {
    for (const std::u16string& name :
         {std::u16string(), std::u16string(u"."), std::u16string(u".."), std::u16string(u"..\\x"),
          std::u16string(u"../x"), std::u16string(u"a\\b"), std::u16string(u"a/b"), std::u16string(u"/abs"),
          std::u16string(u"C:x"), std::u16string(u"C:\\x"), std::u16string(u"x::$DATA"),
          std::u16string(u"a\0b", 3), std::u16string(u"trailing."), std::u16string(u"trailing "),
          std::u16string(u".. "), std::u16string(256, u'x')}) {
        EXPECT_FALSE(Valid(name)) << std::string(name.begin(), name.end());
    }
}

}  // namespace
