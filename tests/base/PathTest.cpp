#include <gtest/gtest.h>

#include "base/Path.h"

namespace {

TEST(Path, PartsSplitAtTheLastSeparator) {
    const WideString folder = WideString(u"a") + WideString(&kPathSeparator, 1);
    EXPECT_TRUE(BaseName(folder + u"Setup.msi") == u"Setup.msi" && BaseName(u"Setup.msi") == u"Setup.msi");
    EXPECT_TRUE(BaseName(folder + u"b" + folder) == u"" && FolderOf(u"Setup.msi").IsEmpty());
    EXPECT_TRUE(FolderOf(folder + u"b") == folder && ParentFolder(folder + u"b") == u"a");
#ifdef _WIN32
    EXPECT_TRUE(BaseName(u"C:/dir/x.msi") == u"x.msi" && FolderOf(u"C:x.exe") == u"C:");  // C:'s folder
#else
    // On POSIX a backslash is part of a file name, and the reader refuses it.
    EXPECT_TRUE(BaseName(u"dir\\x.msi") == u"dir\\x.msi");
#endif
}

}  // namespace
