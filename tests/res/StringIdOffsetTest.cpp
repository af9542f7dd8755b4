// The offset comes from the primary language of the first entry alone.
#include "res/StringIdOffset.h"

#include <gtest/gtest.h>

#include "res/MultiLanguage.h"

namespace {

MultiLanguage Starting(uint32_t first, uint32_t second = 0) {
    MultiLanguage languages;
    languages.AddLanguage(first);
    if (second != 0) languages.AddLanguage(second);
    return languages;
}

}  // namespace

TEST(StringIdOffset, EmptyListIsEnglish) { EXPECT_EQ(ChooseStringIdOffset(MultiLanguage()), 0); }

TEST(StringIdOffset, FrenchOfAnyRegion) {
    for (uint32_t french : {0x040Cu, 0x080Cu, 0x0C0Cu, 0x100Cu, 0x140Cu, 0x180Cu})
        EXPECT_EQ(ChooseStringIdOffset(Starting(french)), 20) << std::hex << french;
}

TEST(StringIdOffset, Japanese) { EXPECT_EQ(ChooseStringIdOffset(Starting(0x0411)), 40); }

TEST(StringIdOffset, EverythingElseIsEnglish) {
    for (uint32_t other : {0x0409u, 0x0809u, 0x0407u, 0x0804u, 0x0412u, 0x0410u, 0x0800u})
        EXPECT_EQ(ChooseStringIdOffset(Starting(other)), 0) << std::hex << other;
}

TEST(StringIdOffset, OnlyTheFirstEntryCounts) {
    EXPECT_EQ(ChooseStringIdOffset(Starting(0x0409, 0x040C)), 0);
    EXPECT_EQ(ChooseStringIdOffset(Starting(0x040C, 0x0411)), 20);
    EXPECT_EQ(ChooseStringIdOffset(Starting(0x0407, 0x0411)), 0);
}

TEST(StringIdOffset, BitsAboveThePrimaryLanguageDoNotMatter) {
    // A sort id above the language identifier, and sublanguages up to the top of the 16 bits.
    EXPECT_EQ(ChooseStringIdOffset(Starting(0x1040C)), 20);
    EXPECT_EQ(ChooseStringIdOffset(Starting(0x50411)), 40);
    EXPECT_EQ(ChooseStringIdOffset(Starting(0xFC0C)), 20);
    // 0x040C in the upper half alone is not French.
    EXPECT_EQ(ChooseStringIdOffset(Starting(0x040C0409)), 0);
}
