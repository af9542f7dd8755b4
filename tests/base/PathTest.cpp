#include <gtest/gtest.h>

#include <vector>

#include "base/Path.h"
#include "base/WideStringPrinter.h"

namespace {

// text with / for the platform's separator.
WideString P(const char16_t* text) {
    WideString path;
    for (; *text != 0; ++text) path += *text == u'/' ? kPathSeparator : *text;
    return path;
}

TEST(Path, SplitsAtTheLastSeparatorAndJoinsWithOne) {
    // path, base name, folder part, parent folder
    const std::vector<std::vector<WideString>> rows = {
        {P(u"folder/Setup.msi"), u"Setup.msi", P(u"folder/"), u"folder"},
        {u"Setup.msi", u"Setup.msi", u"", u""},
        {P(u"a/b/"), u"", P(u"a/b/"), P(u"a/b")},
        {P(u"/x"), u"x", P(u"/"), u""},
#ifdef _WIN32
        {u"C:/dir/x.msi", u"x.msi", u"C:/dir/", u"C:/dir"},
        {u"C:x.exe", u"C:x.exe", u"C:", u""},
#else
        // On POSIX a backslash is part of a file name, and the reader refuses it.
        {u"dir\\x.msi", u"dir\\x.msi", u"", u""},
#endif
    };
    for (const std::vector<WideString>& row : rows) {
        EXPECT_EQ(BaseName(row[0]), row[1]);
        EXPECT_EQ(FolderOf(row[0]), row[2]);
        EXPECT_EQ(ParentFolder(row[0]), row[3]);
    }
    EXPECT_EQ(InFolder(u"a", u"b"), P(u"a/b"));
    EXPECT_EQ(InFolder(P(u"a/"), u"b"), P(u"a/b"));
    EXPECT_EQ(InFolder(u"", u"b"), P(u"/b"));
    EXPECT_TRUE(EndsWithIgnoringCase(u"Setup.EXE", u".exe"));
    EXPECT_FALSE(EndsWithIgnoringCase(u"x.exe.pkg", u".exe") || EndsWithIgnoringCase(u"exe", u".exe"));
}

}  // namespace
