// What only the POSIX backend does, or does its own way.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <string>

#include "base/Utf8.h"
#include "base/WideStringPrinter.h"
#include "file/CFile.h"
#include "file/CFileException.h"
#include "file/FileTestSupport.h"
#include "support/ScratchFolder.h"
#include "support/TestFiles.h"

namespace {

int OpenDescriptorCount() {
    int count = 0;
    if (DIR* dir = opendir("/proc/self/fd")) {
        while (readdir(dir) != nullptr) ++count;
        closedir(dir);
    }
    return count;
}

class CFilePosixTest : public ::testing::Test {
protected:
    ScratchFolder folder;
    WideString existing = folder / u"existing.bin";

    void SetUp() override { WriteString(existing, "0123456789"); }
};

// The kernel cuts a write at the file size limit; the rest is a short write.
TEST_F(CFilePosixTest, AShortWriteIsDiskFullWithTheName) {
    WideString path = folder / u"limited.bin";
    CFile file(path.c_str(), 0x1041);
    rlimit saved;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto savedSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 100;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);

    std::string block(150, 'x');
    auto shortWrite = Caught([&] { file.Write(block.data(), 150); });
    // At the limit nothing more goes in: the system's own error.
    auto atLimit = Caught([&] { file.Write(block.data(), 10); });

    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, savedSignal);

    ASSERT_NE(shortWrite, nullptr);
    EXPECT_EQ(shortWrite->m_cause, CFileException::diskFull);
    EXPECT_EQ(shortWrite->m_osError, -1);
    EXPECT_EQ(shortWrite->m_fileName, path);
    ASSERT_NE(atLimit, nullptr);
    EXPECT_EQ(atLimit->m_cause, CFileException::diskFull);
    EXPECT_EQ(atLimit->m_osError, EFBIG);
    EXPECT_EQ(atLimit->m_fileName, path);
    EXPECT_EQ(ReadString(path), std::string(100, 'x'));
}

// A link at the name is never followed, whether it leads to a file or to nothing
// yet; a new file takes its mode from the umask alone.
TEST_F(CFilePosixTest, CreateNewNeverFollowsALink) {
    const WideString target = folder / u"target.bin";
    const WideString link = folder / u"link.bin";
    for (bool targetExists : {true, false}) {
        SCOPED_TRACE(targetExists ? "link to a file" : "dangling link");
        if (targetExists) WriteString(target, "keep");
        ASSERT_EQ(symlink(Narrow(target).c_str(), Narrow(link).c_str()), 0);
        CFile file;
        CFileException error;
        EXPECT_FALSE(file.Open(link.c_str(), CFile::createNew | CFile::accessWrite, &error));
        EXPECT_EQ(error.m_osError, EEXIST);
        EXPECT_EQ(PathExists(target), targetExists);
        if (targetExists) EXPECT_EQ(ReadString(target), "keep");
        ASSERT_EQ(unlink(Narrow(link).c_str()), 0);
        if (targetExists) CFile::Remove(target.c_str());
    }
    const mode_t previous = umask(027);
    {
        CFile file;
        EXPECT_TRUE(file.Open(target.c_str(), CFile::createNew | CFile::accessWrite));
    }
    umask(previous);
    struct stat info;
    ASSERT_EQ(stat(Narrow(target).c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST_F(CFilePosixTest, NoInheritSetsCloseOnExec) {
    CFile inherited(existing.c_str(), 0x0040);
    CFile private_(existing.c_str(), 0x00C0);
    EXPECT_EQ(fcntl(static_cast<int>(inherited.m_hFile), F_GETFD) & FD_CLOEXEC, 0);
    EXPECT_NE(fcntl(static_cast<int>(private_.m_hFile), F_GETFD) & FD_CLOEXEC, 0);
}

TEST_F(CFilePosixTest, ShareModesHaveNoMeaningHere) {
    CFile first(existing.c_str(), 0x0010);
    CFile second;
    EXPECT_TRUE(second.Open(existing.c_str(), 0x0012));
}

TEST_F(CFilePosixTest, ClosingAndAdoptingLeaveNoDescriptorBehind) {
    const int before = OpenDescriptorCount();
    {
        CFile file(existing.c_str(), 0x0040);
        EXPECT_EQ(OpenDescriptorCount(), before + 1);
        // Reopening closes the descriptor the object owned.
        ASSERT_TRUE(file.Open(existing.c_str(), 0x0040));
        EXPECT_EQ(OpenDescriptorCount(), before + 1);
        { CFile adopted(file.m_hFile); }
        EXPECT_NE(fcntl(static_cast<int>(file.m_hFile), F_GETFD), -1);
        file.Abort();
        EXPECT_EQ(OpenDescriptorCount(), before);
    }
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(CFilePosixTest, PositionsStopAtFourGigabytes) {
    CFile file(existing.c_str(), 0x0040);
    EXPECT_EQ(file.Seek(0x7FFFFFFF, CFile::begin), 0x7FFFFFFFu);
    EXPECT_EQ(file.Seek(0x7FFFFFFF, CFile::current), 0xFFFFFFFEu);
    EXPECT_EQ(file.Seek(1, CFile::current), 0xFFFFFFFFu);
    auto error = Caught([&] { file.Seek(1, CFile::current); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::badSeek);
    EXPECT_EQ(error->m_osError, EOVERFLOW);
    EXPECT_EQ(file.GetPosition(), 0xFFFFFFFFu);
}

TEST_F(CFilePosixTest, AnUnknownOriginIsGeneric) {
    CFile file(existing.c_str(), 0x0040);
    file.Seek(3, CFile::begin);
    auto error = Caught([&] { file.Seek(0, 3); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::genericException);
    EXPECT_EQ(error->m_osError, EINVAL);
    EXPECT_EQ(file.GetPosition(), 3u);
}

TEST_F(CFilePosixTest, SeekOnAPipeIsABadSeek) {
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    {
        CFile pipeEnd(static_cast<CFile::Handle>(ends[0]));
        auto error = Caught([&] { pipeEnd.Seek(0, CFile::begin); });
        ASSERT_NE(error, nullptr);
        EXPECT_EQ(error->m_cause, CFileException::badSeek);
        EXPECT_EQ(error->m_osError, ESPIPE);
    }
    close(ends[0]);
    close(ends[1]);
}

TEST_F(CFilePosixTest, AccessValueThreeOpensWithoutReadOrWrite) {
    CFile file;
    ASSERT_TRUE(file.Open(existing.c_str(), 0x0003));
    char byte;
    auto error = Caught([&] { file.Read(&byte, 1); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::accessDenied);
    // With create it makes the file as Windows does.
    WideString created = folder / u"created.bin";
    ASSERT_TRUE(file.Open(created.c_str(), 0x1003));
    EXPECT_TRUE(PathExists(created));
}

// Locks on a read-only descriptor are read locks, which POSIX lets overlap.
TEST_F(CFilePosixTest, ReadOnlyLocksAreShared) {
    CFile first(existing.c_str(), 0x0040);
    CFile second(existing.c_str(), 0x0040);
    first.LockRange(0, 5);
    EXPECT_EQ(Caught([&] { second.LockRange(0, 5); }), nullptr);
    CFile writer(existing.c_str(), 0x0041);
    auto error = Caught([&] { writer.LockRange(2, 1); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::lockViolation);
}

TEST_F(CFilePosixTest, PathsGoToTheSystemAsUtf8) {
    WideString path = folder / u"caf\u00E9.txt";
    { CFile file(path.c_str(), 0x1041); }
    std::string bytes = Utf8FromWide(folder.Path()) + "/caf\xC3\xA9.txt";
    EXPECT_EQ(access(bytes.c_str(), F_OK), 0);
}

}  // namespace
