// The test helpers themselves: a failure points at the calling line and names the
// path, and a scratch folder takes everything with it, read-only or linked.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

TEST(TestFiles, AFailureIsRecordedAtTheCallingLineNamesThePathAndEndsTheTest) {
    ScratchFolder scratch;
    const WideString missing = scratch / "missing";
    const WideString inMissing = JoinPath(missing, u"file.bin");
    struct Row {
        std::function<void()> call;
        int line;
    };
    const Row rows[] = {
        {[&] { ReadBytes(missing); }, __LINE__},
        {[&] { ReadString(missing); }, __LINE__},
        {[&] { WriteBytes(inMissing, {1}); }, __LINE__},
        {[&] { ListFolder(missing); }, __LINE__},
        {[&] { FileSize(missing); }, __LINE__},
        {[&] { MakeFolder(inMissing); }, __LINE__},
        {[&] { MakeSparseFile(inMissing, 10); }, __LINE__},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        ::testing::TestPartResultArray results;
        bool threw = false;
        {
            ::testing::ScopedFakeTestPartResultReporter reporter(
                ::testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
            try {
                row.call();
            } catch (const std::runtime_error& error) {
                threw = true;
                EXPECT_NE(std::string(error.what()).find(Narrow(missing)), std::string::npos) << error.what();
            }
        }
        EXPECT_TRUE(threw);
        ASSERT_EQ(results.size(), 1);
        const ::testing::TestPartResult& failure = results.GetTestPartResult(0);
        EXPECT_EQ(failure.line_number(), row.line);
        EXPECT_NE(std::string(failure.file_name()).find("TestSupportTest.cpp"), std::string::npos);
        EXPECT_NE(std::string(failure.message()).find(Narrow(missing)), std::string::npos);
    }
    EXPECT_FALSE(PathExists(missing));
}

TEST(ScratchFolder, GoesWithWhatItHoldsButNotWhatALinkInItPointsTo) {
    ScratchFolder outside;
    const WideString kept = outside / "kept.txt";
    WriteString(kept, "kept");
    WideString path;
    {
        ScratchFolder scratch("sfx test ");
        path = scratch.Path();
        MakeFolder(scratch / "sub");
        MakeFolder(JoinPath(scratch / "sub", u"deeper"));
        WriteString(JoinPath(JoinPath(scratch / "sub", u"deeper"), u"file.bin"), "x");
        WriteString(scratch / u"read-only \u00E9.txt", "ro");
        MakeReadOnly(scratch / u"read-only \u00E9.txt");
        WriteString(JoinPath(scratch / "sub", u"read-only.txt"), "ro");
        MakeReadOnly(JoinPath(scratch / "sub", u"read-only.txt"));
#ifdef _WIN32
        EXPECT_EQ(ListFolder(path), (std::vector<std::string>{"read-only \xC3\xA9.txt", "sub"}));
#else
        ASSERT_EQ(symlink(Narrow(outside.Path()).c_str(), Narrow(scratch / "link").c_str()), 0);
        EXPECT_EQ(ListFolder(path), (std::vector<std::string>{"link", "read-only \xC3\xA9.txt", "sub"}));
#endif
    }
    EXPECT_FALSE(PathExists(path));
    EXPECT_EQ(ReadString(kept), "kept");
}

}  // namespace
