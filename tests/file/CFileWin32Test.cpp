// What only the Win32 backend does: sharing, the unnamed flag values, inheritance and
// the exact Windows error codes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "base/WideStringPrinter.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "file/FileTestSupport.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

class CFileWin32Test : public ::testing::Test {
protected:
    ScratchFolder folder;
    WideString existing = folder / u"existing.bin";

    void SetUp() override { WriteString(existing, "0123456789"); }

    // Opens the file a second time; the cause of the refusal, or 0.
    int32_t SecondOpen(uint32_t flags, CallSite at = {}) {
        SFX_TRACE_CALLER(at);
        CFile second;
        CFileException error;
        if (second.Open(existing.c_str(), flags, &error)) return 0;
        EXPECT_EQ(error.m_osError == 32, error.m_cause == CFileException::sharingViolation);
        return error.m_cause;
    }
};

TEST_F(CFileWin32Test, AnExclusiveOpenRefusesASecondOneAsSharingViolation) {
    CFile first(existing.c_str(), 0x0010);
    CFile second;
    CFileException error;
    EXPECT_FALSE(second.Open(existing.c_str(), 0x0040, &error));
    EXPECT_EQ(error.m_cause, CFileException::sharingViolation);
    EXPECT_EQ(error.m_osError, 32);
    EXPECT_EQ(error.m_fileName, existing);
    // The path constructor throws the same.
    auto thrown = Caught([&] { CFile third(existing.c_str(), 0x0040); });
    ASSERT_NE(thrown, nullptr);
    EXPECT_EQ(thrown->m_cause, CFileException::sharingViolation);
    EXPECT_EQ(thrown->m_osError, 32);
    first.Close();
    EXPECT_EQ(SecondOpen(0x0040), 0);
}

TEST_F(CFileWin32Test, TheShareFieldDecidesWhichSecondOpensSucceed) {
    const int32_t refused = CFileException::sharingViolation;
    {
        CFile first(existing.c_str(), 0x0000);  // compatibility: shares nothing
        EXPECT_EQ(SecondOpen(0x0040), refused);
    }
    {
        CFile first(existing.c_str(), 0x0020);  // others may read
        EXPECT_EQ(SecondOpen(0x0040), 0);
        EXPECT_EQ(SecondOpen(0x0041), refused);
    }
    {
        CFile first(existing.c_str(), 0x0030);  // others may write
        EXPECT_EQ(SecondOpen(0x0041), 0);
        EXPECT_EQ(SecondOpen(0x0040), refused);
    }
    {
        CFile first(existing.c_str(), 0x0040);  // others may do both
        EXPECT_EQ(SecondOpen(0x0042), 0);
    }
    for (uint32_t share : {0x0050u, 0x0060u, 0x0070u}) {
        CFile first(existing.c_str(), share);  // unnamed values share nothing
        EXPECT_EQ(SecondOpen(0x0040), refused) << std::hex << share;
    }
}

TEST_F(CFileWin32Test, AccessValueThreeAsksForNoAccess) {
    CFile file(existing.c_str(), 0x0043);
    char byte;
    auto error = Caught([&] { file.Read(&byte, 1); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::accessDenied);
    EXPECT_EQ(error->m_osError, 5);
    error = Caught([&] { file.Write("x", 1); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_osError, 5);
    EXPECT_EQ(error->m_fileName, existing);
    EXPECT_EQ(ReadString(existing), "0123456789");
}

TEST_F(CFileWin32Test, HandlesAreInheritableUnlessNoInherit) {
    CFile inherited(existing.c_str(), 0x0040);
    CFile private_(existing.c_str(), 0x00C0);
    DWORD flags = 0;
    ASSERT_TRUE(GetHandleInformation(inherited.m_hFile, &flags));
    EXPECT_NE(flags & HANDLE_FLAG_INHERIT, 0u);
    ASSERT_TRUE(GetHandleInformation(private_.m_hFile, &flags));
    EXPECT_EQ(flags & HANDLE_FLAG_INHERIT, 0u);
}

TEST_F(CFileWin32Test, ReopeningClosesTheOwnedHandle) {
    CFile file(existing.c_str(), 0x0010);
    HANDLE old = file.m_hFile;
    WideString other = folder / u"other.bin";
    WriteString(other, "x");
    ASSERT_TRUE(file.Open(other.c_str(), 0x0040));
    // The exclusive handle is gone, so the first file opens again.
    EXPECT_EQ(SecondOpen(0x0040), 0);
    DWORD flags;
    EXPECT_TRUE(old == file.m_hFile || !GetHandleInformation(old, &flags));
}

TEST_F(CFileWin32Test, AnAdoptedHandleStaysValid) {
    CFile owner(existing.c_str(), 0x0040);
    { CFile adopted(owner.m_hFile); }
    DWORD flags;
    EXPECT_TRUE(GetHandleInformation(owner.m_hFile, &flags));
}

TEST_F(CFileWin32Test, AFailedCloseReportsTheInvalidHandle) {
    CFile file;
    file.m_hFile = BogusHandle();
    file.m_closeOnDelete = 1;
    auto error = Caught([&] { file.Close(); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_osError, 6);  // ERROR_INVALID_HANDLE
    EXPECT_EQ(error->m_cause, CFileException::fileNotFound);
}

TEST_F(CFileWin32Test, AMissingFolderIsABadPath) {
    WideString deep = folder / u"no such folder\\file.bin";
    CFile file;
    CFileException error;
    EXPECT_FALSE(file.Open(deep.c_str(), 0x1041, &error));
    EXPECT_EQ(error.m_cause, CFileException::badPath);
    EXPECT_EQ(error.m_osError, 3);
    auto thrown = Caught([&] { CFile::Remove(deep.c_str()); });
    ASSERT_NE(thrown, nullptr);
    EXPECT_EQ(thrown->m_cause, CFileException::badPath);
}

TEST_F(CFileWin32Test, AnOpenFileCannotBeRemoved) {
    CFile file(existing.c_str(), 0x0040);
    auto error = Caught([&] { CFile::Remove(existing.c_str()); });
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->m_cause == CFileException::sharingViolation ||
                error->m_cause == CFileException::accessDenied)
        << error->m_cause;
    EXPECT_TRUE(PathExists(existing));
}

// Wine does not refuse reads of a range another handle locked, so only the lock calls are checked.
TEST_F(CFileWin32Test, UnlockingWhatIsNotLockedFails) {
    CFile file(existing.c_str(), 0x0042);
    file.LockRange(0, 4);
    file.UnlockRange(0, 4);
    auto error = Caught([&] { file.UnlockRange(0, 4); });
    ASSERT_NE(error, nullptr);
    // Windows says ERROR_NOT_LOCKED (158, generic), Wine ERROR_LOCK_VIOLATION (33).
    EXPECT_TRUE(error->m_osError == 158 || error->m_osError == 33) << error->m_osError;
    EXPECT_EQ(error->m_cause, OsErrorToCause(error->m_osError));
    EXPECT_TRUE(error->m_fileName.IsEmpty());
}

}  // namespace
