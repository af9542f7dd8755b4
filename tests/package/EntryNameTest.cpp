#include <gtest/gtest.h>

#include <string>

#include "package/reader/EntryName.h"

namespace {

bool Valid(const std::u16string& name) { return IsValidEntryName(name.c_str(), name.size()); }

TEST(EntryName, PlainFileNamesAreAccepted) {
    EXPECT_TRUE(Valid(u"Setup.msi"));
    EXPECT_TRUE(Valid(u"a"));
    EXPECT_TRUE(Valid(u".hidden"));
    EXPECT_TRUE(Valid(u"...x"));
    EXPECT_TRUE(Valid(u"na\u00efve \u65e5\u672c.txt"));
    EXPECT_TRUE(Valid(std::u16string(255, u'x')));
    // Near the device names, but files all the same.
    for (const char16_t* name : {u"CONSOLE", u"con1", u"COM0", u"COM10", u"LPT", u"nul_", u"xNUL.txt", u"aux-log"}) {
        EXPECT_TRUE(Valid(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
    }
}

TEST(EntryName, AnythingThatCouldNameAnotherPlaceIsRefused) {
    for (const std::u16string& name :
         {std::u16string(), std::u16string(u"."), std::u16string(u".."), std::u16string(u"..\\x"),
          std::u16string(u"../x"), std::u16string(u"a\\b"), std::u16string(u"a/b"), std::u16string(u"/abs"),
          std::u16string(u"C:x"), std::u16string(u"C:\\x"), std::u16string(u"x::$DATA"),
          std::u16string(u"a\0b", 3), std::u16string(u"trailing."), std::u16string(u"trailing "),
          std::u16string(u".. "), std::u16string(256, u'x'),
          // Devices on Windows: the data would go to the device, not into the folder.
          std::u16string(u"NUL"), std::u16string(u"con"), std::u16string(u"aux.txt"), std::u16string(u"Prn.msi"),
          std::u16string(u"COM1"), std::u16string(u"com9.log"), std::u16string(u"LPT1"), std::u16string(u"lpt9"),
          std::u16string(u"nul .txt"), std::u16string(u"CON.tar.gz")}) {
        EXPECT_FALSE(Valid(name)) << std::string(name.begin(), name.end());
    }
}

}  // namespace
