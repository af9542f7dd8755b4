// Behaviour both file backends share; this source runs natively and under Wine.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/WideStringPrinter.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "file/FileTestSupport.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

class CFileTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    WideString existing = folder / u"existing.bin";
    WideString missing = folder / u"missing.bin";

    void SetUp() override { WriteString(existing, "0123456789"); }
};

TEST_F(CFileTest, NewObjectHoldsNothing) {
    CFile file;
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.m_hFile, CFile::hFileNull);
    EXPECT_EQ(file.m_closeOnDelete, 0);
    EXPECT_TRUE(file.m_fileName.IsEmpty());
    void* start = &file;
    void* end = &file;
    EXPECT_EQ(file.GetDirectBuffer(0, 100, &start, &end), 0u);
}

TEST_F(CFileTest, OpenReadsAnExistingFile) {
    CFile file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x0040));
    EXPECT_TRUE(file.IsOpen());
    EXPECT_EQ(file.m_closeOnDelete, 1);
    EXPECT_EQ(file.m_fileName, existing);
    char buffer[16] = {};
    EXPECT_EQ(file.Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    EXPECT_EQ(file.GetPosition(), 4u);
    // Asking for more than is left gives what is left.
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "456789");
}

TEST_F(CFileTest, ReadsAtTheEndReturnZero) {
    CFile file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x0000));
    char buffer[32];
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 10u);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file.Read(buffer, 1), 0u);
    file.Seek(50, CFile::begin);
    EXPECT_EQ(file.Read(buffer, sizeof buffer), 0u);
}

TEST_F(CFileTest, CountZeroMakesNoSystemCall) {
    // Without a handle any system call would fail, so no throw means no call.
    CFile closed;
    EXPECT_EQ(closed.Read(nullptr, 0), 0u);
    EXPECT_EQ(Caught([&] { closed.Write(nullptr, 0); }), nullptr);
    char byte;
    auto error = Caught([&] { closed.Read(&byte, 1); });
    ASSERT_NE(error, nullptr);
    EXPECT_NE(error->m_osError, -1);
    error = Caught([&] { closed.Write("x", 1); });
    ASSERT_NE(error, nullptr);
}

TEST_F(CFileTest, SeekBeforeTheStartThrowsBadSeek) {
    CFile file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x0040));
    file.Seek(5, CFile::begin);
    struct Case {
        int32_t distance;
        uint32_t origin;
    } cases[] = {{-1, CFile::begin}, {-6, CFile::current}, {-11, CFile::end}, {INT32_MIN, CFile::current}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.distance << " from " << c.origin);
        auto error = Caught([&] { file.Seek(c.distance, c.origin); });
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->m_cause, CFileException::badSeek);
        EXPECT_EQ(error->m_osError, kErrorNegativeSeek);
        EXPECT_TRUE(error->m_fileName.IsEmpty());
        // The failed seek moved nothing and the object is as it was.
        EXPECT_EQ(file.GetPosition(), 5u);
        EXPECT_TRUE(file.IsOpen());
        EXPECT_EQ(file.m_fileName, existing);
    }
}

TEST_F(CFileTest, SeekFromEachOrigin) {
    CFile file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x0040));
    EXPECT_EQ(file.Seek(3, CFile::begin), 3u);
    EXPECT_EQ(file.Seek(4, CFile::current), 7u);
    EXPECT_EQ(file.Seek(-2, CFile::current), 5u);
    EXPECT_EQ(file.Seek(-1, CFile::end), 9u);
    char byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, '9');
    EXPECT_EQ(file.Seek(0, CFile::begin), 0u);
}

TEST_F(CFileTest, SeekBeyondTheEndSucceedsAndWritingThereExtends) {
    CFile file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x0042));
    EXPECT_EQ(file.Seek(100, CFile::begin), 100u);
    EXPECT_EQ(file.GetPosition(), 100u);
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.Seek(5, CFile::end), 15u);
    file.Write("!", 1);
    file.Close();
    std::string bytes = ReadString(existing);
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(bytes.substr(0, 10), "0123456789");
    EXPECT_EQ(bytes.substr(10, 5), std::string(5, '\0'));
    EXPECT_EQ(bytes[15], '!');
}

TEST_F(CFileTest, GetLengthKeepsThePosition) {
    CFile file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x0040));
    file.Seek(7, CFile::begin);
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.GetPosition(), 7u);
    file.Seek(30, CFile::begin);
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.GetPosition(), 30u);
}

// Derived files (a counting or checking layer) see every seek GetLength makes.
TEST_F(CFileTest, GetLengthSeeksThroughTheVirtualSeek) {
    struct CountingFile : CFile {
        int seeks = 0;
        uint32_t Seek(int32_t distance, uint32_t origin) override {
            ++seeks;
            return CFile::Seek(distance, origin);
        }
    } file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x0040));
    file.CFile::Seek(4, CFile::begin);
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.seeks, 3);
    EXPECT_EQ(file.GetPosition(), 4u);
}

TEST_F(CFileTest, CreateTruncatesUnlessNoTruncateIsGiven) {
    {
        CFile file;
        ASSERT_TRUE(file.Open(existing.c_str(), 0x3041));
        EXPECT_EQ(file.GetLength(), 10u);
        EXPECT_EQ(file.GetPosition(), 0u);
        file.Write("ab", 2);
    }
    EXPECT_EQ(ReadString(existing), "ab23456789");
    {
        CFile file;
        ASSERT_TRUE(file.Open(existing.c_str(), 0x1041));
        EXPECT_EQ(file.GetLength(), 0u);
    }
    EXPECT_EQ(ReadString(existing), "");
}

TEST_F(CFileTest, CreateMakesAMissingFileEitherWay) {
    for (uint32_t flags : {0x1041u, 0x3041u, 0x1002u}) {
        SCOPED_TRACE(testing::Message() << std::hex << flags);
        WideString path = folder / u"new.bin";
        ASSERT_FALSE(PathExists(path));
        {
            CFile file;
            ASSERT_TRUE(file.Open(path.c_str(), flags));
            file.Write("xyz", 3);
        }
        EXPECT_EQ(ReadString(path), "xyz");
        CFile::Remove(path.c_str());
    }
}

// createNew makes a file that was not there, and nothing else: whatever else is
// asked for with it, a name already taken fails and keeps what it holds.
TEST_F(CFileTest, CreateNewMakesOnlyANewFile) {
    for (uint32_t flags : {CFile::createNew | 0x0041u, CFile::createNew | 0x3042u}) {
        SCOPED_TRACE(testing::Message() << std::hex << flags);
        WideString path = folder / u"fresh.bin";
        {
            CFile file;
            ASSERT_TRUE(file.Open(path.c_str(), flags));
            file.Write("new", 3);
        }
        EXPECT_EQ(ReadString(path), "new");
        for (const WideString& taken : {path, existing}) {
            const std::string before = ReadString(taken);
            CFile file;
            CFileException error;
            EXPECT_FALSE(file.Open(taken.c_str(), flags, &error));
            EXPECT_EQ(error.m_cause, CFileException::accessDenied);
            EXPECT_EQ(error.m_fileName, taken);
            EXPECT_FALSE(file.IsOpen());
            EXPECT_EQ(ReadString(taken), before);
        }
        CFile::Remove(path.c_str());
    }
}

TEST_F(CFileTest, NoTruncateAloneStillWantsAnExistingFile) {
    CFileException error;
    CFile file;
    EXPECT_FALSE(file.Open(missing.c_str(), 0x2041, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_FALSE(PathExists(missing));
    ASSERT_TRUE(file.Open(existing.c_str(), 0x2041));
    EXPECT_EQ(file.GetLength(), 10u);
}

TEST_F(CFileTest, OpeningAMissingFileFailsWithCauseAndPath) {
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(missing.c_str(), 0x0040, &error));
    EXPECT_EQ(error.m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error.m_osError, kErrorNotFound);
    EXPECT_EQ(error.m_fileName, missing);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.m_closeOnDelete, 0);
    EXPECT_EQ(file.m_fileName, missing);
    // Without an exception object it only answers false.
    EXPECT_FALSE(file.Open(missing.c_str(), 0x0040));
    EXPECT_FALSE(PathExists(missing));
}

TEST_F(CFileTest, AFolderIsNotAFile) {
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(folder.Path().c_str(), 0x0040, &error));
    EXPECT_EQ(error.m_cause, CFileException::accessDenied);
    EXPECT_EQ(error.m_fileName, folder.Path());
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(CFileTest, TheHighFlagBitIsIgnored) {
    CFile file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x8040));
    char buffer[4];
    EXPECT_EQ(file.Read(buffer, 4), 4u);
}

TEST_F(CFileTest, PathConstructorOpensOrThrows) {
    {
        CFile file(existing.c_str(), 0x0040);
        EXPECT_TRUE(file.IsOpen());
        EXPECT_EQ(file.m_closeOnDelete, 1);
        EXPECT_EQ(file.GetLength(), 10u);
    }
    auto error = Caught([&] { CFile file(missing.c_str(), 0x0040); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error->m_osError, kErrorNotFound);
    EXPECT_EQ(error->m_fileName, missing);
}

TEST_F(CFileTest, WriteThenReadBackALargeBlock) {
    std::string data(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 131 + i / 7);
    WideString path = folder / u"large.bin";
    {
        CFile file(path.c_str(), 0x1042);
        file.Write(data.data(), static_cast<uint32_t>(data.size()));
        EXPECT_EQ(file.GetLength(), data.size());
        file.Flush();
        file.Seek(0, CFile::begin);
        std::string back(data.size(), '\0');
        EXPECT_EQ(file.Read(&back[0], static_cast<uint32_t>(back.size())), data.size());
        EXPECT_TRUE(back == data);
    }
    EXPECT_TRUE(ReadString(path) == data);
}

TEST_F(CFileTest, AFullDeviceGivesDiskFullWithTheName) {
    CFile file;
    CFileException openError;
    if (!file.Open(kFullDevice, 0x0041, &openError)) GTEST_SKIP() << "no full device here";
    char block[4096] = {};
    auto error = Caught([&] { file.Write(block, sizeof block); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::diskFull);
    EXPECT_EQ(error->m_osError, kErrorDiskFull);
    EXPECT_EQ(error->m_fileName, WideString(kFullDevice));
}

TEST_F(CFileTest, WriteFailuresNameTheFileAndReadFailuresDoNot) {
    CFile reader(existing.c_str(), 0x0040);
    auto error = Caught([&] { reader.Write("x", 1); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::accessDenied);
    EXPECT_EQ(error->m_osError, kErrorNoAccess);
    EXPECT_EQ(error->m_fileName, existing);
    EXPECT_EQ(ReadString(existing), "0123456789");

    CFile writer(existing.c_str(), 0x0041);
    char byte;
    error = Caught([&] { writer.Read(&byte, 1); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::accessDenied);
    EXPECT_EQ(error->m_osError, kErrorNoAccess);
    EXPECT_TRUE(error->m_fileName.IsEmpty());
}

TEST_F(CFileTest, SetLengthCutsOrExtendsAndLeavesThePositionAtTheEnd) {
    CFile file(existing.c_str(), 0x0042);
    file.SetLength(4);
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(file.GetLength(), 4u);
    file.SetLength(8);
    EXPECT_EQ(file.GetPosition(), 8u);
    file.Close();
    EXPECT_EQ(ReadString(existing), std::string("0123\0\0\0\0", 8));
}

TEST_F(CFileTest, FlushWithoutAHandleDoesNothingAndWithOneKeepsTheBytes) {
    CFile closed;
    EXPECT_EQ(Caught([&] { closed.Flush(); }), nullptr);
    CFile file(existing.c_str(), 0x0041);
    file.Write("ab", 2);
    file.Flush();
    EXPECT_EQ(ReadString(existing), "ab23456789");
}

TEST_F(CFileTest, LockedRangesConflictBetweenTwoOpens) {
    CFile first(existing.c_str(), 0x0042);
    CFile second(existing.c_str(), 0x0042);
    first.LockRange(2, 4);
    auto error = Caught([&] { second.LockRange(4, 2); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::lockViolation);
    EXPECT_TRUE(error->m_fileName.IsEmpty());
    // Outside the locked bytes the second open is free.
    second.LockRange(6, 4);
    first.UnlockRange(2, 4);
    second.LockRange(2, 4);
    second.UnlockRange(2, 4);
    second.UnlockRange(6, 4);
}

TEST_F(CFileTest, RemoveDeletesOrThrowsWithoutAName) {
    CFile::Remove(existing.c_str());
    EXPECT_FALSE(PathExists(existing));
    auto error = Caught([&] { CFile::Remove(missing.c_str()); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error->m_osError, kErrorNotFound);
    EXPECT_TRUE(error->m_fileName.IsEmpty());
}

TEST_F(CFileTest, RenameMovesButNeverReplaces) {
    WideString moved = folder / u"moved.bin";
    CFile::Rename(existing.c_str(), moved.c_str());
    EXPECT_FALSE(PathExists(existing));
    EXPECT_EQ(ReadString(moved), "0123456789");

    auto error = Caught([&] { CFile::Rename(missing.c_str(), existing.c_str()); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::fileNotFound);
    EXPECT_EQ(error->m_osError, kErrorNotFound);
    EXPECT_TRUE(error->m_fileName.IsEmpty());

    WriteString(existing, "other");
    error = Caught([&] { CFile::Rename(existing.c_str(), moved.c_str()); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::accessDenied);
    EXPECT_EQ(error->m_osError, kErrorExists);
    // Neither file lost anything.
    EXPECT_EQ(ReadString(existing), "other");
    EXPECT_EQ(ReadString(moved), "0123456789");
}

TEST_F(CFileTest, CloseTwiceIsHarmless) {
    CFile file(existing.c_str(), 0x0040);
    file.Close();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.m_closeOnDelete, 0);
    EXPECT_TRUE(file.m_fileName.IsEmpty());
    EXPECT_EQ(Caught([&] { file.Close(); }), nullptr);
    EXPECT_FALSE(file.IsOpen());
    // The handle really went: the file can be removed.
    CFile::Remove(existing.c_str());
}

TEST_F(CFileTest, AbortClosesAndKeepsTheOwnershipFlag) {
    CFile file(existing.c_str(), 0x0040);
    file.Abort();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.m_fileName.IsEmpty());
    EXPECT_EQ(file.m_closeOnDelete, 1);
    file.Abort();
    EXPECT_FALSE(file.IsOpen());
    CFile::Remove(existing.c_str());
}

TEST_F(CFileTest, AbortIgnoresAFailingClose) {
    CFile file;
    file.m_hFile = BogusHandle();
    file.SetFileName(u"name");
    file.Abort();
    EXPECT_FALSE(file.IsOpen());
    EXPECT_TRUE(file.m_fileName.IsEmpty());
}

TEST_F(CFileTest, AnAdoptedHandleOutlivesTheObjectButNotItsClose) {
    CFile owner(existing.c_str(), 0x0040);
    {
        CFile adopted(owner.m_hFile);
        EXPECT_EQ(adopted.m_closeOnDelete, 0);
        EXPECT_TRUE(adopted.m_fileName.IsEmpty());
        char two[2];
        EXPECT_EQ(adopted.Read(two, 2), 2u);
    }
    // Still open after the adopting object is gone, at the position it left.
    char byte = 0;
    EXPECT_EQ(owner.Read(&byte, 1), 1u);
    EXPECT_EQ(byte, '2');
    // Close on the adopter does close it.
    CFile adopted(owner.m_hFile);
    adopted.Close();
    EXPECT_NE(Caught([&] { owner.Read(&byte, 1); }), nullptr);
    owner.m_hFile = CFile::hFileNull;  // already closed; the number may come back for another file
}

TEST_F(CFileTest, AFailedCloseThrowsButLeavesTheObjectClosed) {
    CFile file;
    file.m_hFile = BogusHandle();
    file.m_closeOnDelete = 1;
    file.SetFileName(u"name");
    auto error = Caught([&] { file.Close(); });
    ASSERT_NE(error, nullptr);
    EXPECT_NE(error->m_osError, -1);
    EXPECT_TRUE(error->m_fileName.IsEmpty());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.m_closeOnDelete, 0);
    EXPECT_TRUE(file.m_fileName.IsEmpty());
}

// A close that fails in the destructor must neither end the process nor leak the
// exception it caught (the host build checks for leaks when the child exits).
TEST(CFileDestructor, SwallowsAFailedCloseAndTheProcessGoesOn) {
    EXPECT_EXIT(
        {
            for (int i = 0; i < 3; ++i) {
                CFile file;
                file.m_hFile = BogusHandle();
                file.m_closeOnDelete = 1;
            }
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(CFileTest, SetFileNameStoresOrClears) {
    CFile file;
    file.SetFileName(u"a name");
    EXPECT_EQ(file.m_fileName, u"a name");
    file.SetFileName(nullptr);
    EXPECT_TRUE(file.m_fileName.IsEmpty());
}

TEST_F(CFileTest, ANonAsciiNameIsCreatedReadAndRemoved) {
    WideString path = folder / u"Donn\u00E9es \u65E5\u672C \U0001F600.bin";
    {
        CFile file(path.c_str(), 0x1041);
        file.Write("unicode", 7);
    }
    EXPECT_TRUE(PathExists(path));
    EXPECT_EQ(ReadString(path), "unicode");
    CFile::Remove(path.c_str());
    EXPECT_FALSE(PathExists(path));
}

}  // namespace
