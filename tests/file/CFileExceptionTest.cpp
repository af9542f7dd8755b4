#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/WideStringPrinter.h"
#include "file/CFileException.h"
#include "file/FileTestSupport.h"

namespace {

std::u16string Message(const CFileException& error, unsigned capacity, size_t bufferSize = 128) {
    std::vector<char16_t> buffer(bufferSize, u'#');
    EXPECT_TRUE(error.GetErrorMessage(buffer.data(), capacity));
    // Nothing at or beyond the capacity was touched.
    for (size_t i = capacity; i < bufferSize; ++i) EXPECT_EQ(buffer[i], u'#') << "unit " << i;
    if (capacity == 0) return u"(untouched)";
    return std::u16string(buffer.data());
}

TEST(CFileException, DefaultsAreNoCauseNoOsErrorNoName) {
    CFileException error;
    EXPECT_EQ(error.m_cause, CFileException::none);
    EXPECT_EQ(error.m_osError, -1);
    EXPECT_TRUE(error.m_fileName.IsEmpty());
    CFileException named(CFileException::badSeek, 131, u"C:\\x");
    EXPECT_EQ(named.m_cause, 9);
    EXPECT_EQ(named.m_osError, 131);
    EXPECT_EQ(named.m_fileName, u"C:\\x");
}

TEST(CFileException, MessageWithoutANameSaysUnknownFile) {
    CFileException error(CFileException::accessDenied);
    EXPECT_EQ(Message(error, 128), u"Cause: 5, File Name: Unknown File");
    EXPECT_EQ(Message(error, 10), u"Cause: 5,");
}

TEST(CFileException, MessageNamesTheFile) {
    CFileException error(CFileException::diskFull, 112, u"C:\\Temp\\Setup.msi");
    EXPECT_EQ(Message(error, 128), u"Cause: 13, File Name: C:\\Temp\\Setup.msi");
    CFileException negative(-7, -1, u"f");
    EXPECT_EQ(Message(negative, 128), u"Cause: -7, File Name: f");
}

TEST(CFileException, MessageIsCutAsLstrcpynCuts) {
    CFileException error(CFileException::fileNotFound, 2, u"abc");
    const std::u16string full = u"Cause: 2, File Name: abc";
    EXPECT_EQ(Message(error, static_cast<unsigned>(full.size() + 1)), full);
    EXPECT_EQ(Message(error, static_cast<unsigned>(full.size())), full.substr(0, full.size() - 1));
    EXPECT_EQ(Message(error, 2), u"C");
    EXPECT_EQ(Message(error, 1), u"");
    EXPECT_EQ(Message(error, 0), u"(untouched)");
    // A long name is never cut before the capacity.
    std::u16string longName(5000, u'n');
    CFileException longError(CFileException::badPath, 3, longName.c_str());
    EXPECT_EQ(Message(longError, 6000, 6100), u"Cause: 3, File Name: " + longName);
}

TEST(CFileException, MessageIntoNoBufferIsHarmless) {
    CFileException error;
    unsigned help = 77;
    EXPECT_TRUE(error.GetErrorMessage(nullptr, 50, &help));
    EXPECT_EQ(help, 77u);
}

TEST(CFileException, ThrowFileExceptionThrowsAHeapObject) {
    auto error = Caught([] { ThrowFileException(CFileException::diskFull, -1, u"out.bin"); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::diskFull);
    EXPECT_EQ(error->m_osError, -1);
    EXPECT_EQ(error->m_fileName, u"out.bin");
    error = Caught([] { ThrowFileException(CFileException::badSeek, 131, nullptr); });
    ASSERT_NE(error, nullptr);
    EXPECT_TRUE(error->m_fileName.IsEmpty());
}

TEST(CFileException, ThrowOsErrorUsesThePlatformsTableAndSkipsZero) {
    EXPECT_EQ(Caught([] { ThrowOsError(0, u"name"); }), nullptr);
#ifdef _WIN32
    const int32_t sharing = 32;  // ERROR_SHARING_VIOLATION
#else
    const int32_t sharing = EBUSY;
#endif
    auto error = Caught([&] { ThrowOsError(sharing, u"busy.bin"); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::sharingViolation);
    EXPECT_EQ(error->m_osError, sharing);
    EXPECT_EQ(error->m_fileName, u"busy.bin");
    error = Caught([] { ThrowOsError(kErrorNotFound, nullptr); });
    ASSERT_NE(error, nullptr);
    EXPECT_EQ(error->m_cause, CFileException::fileNotFound);
    EXPECT_TRUE(error->m_fileName.IsEmpty());
}

// The Windows table, written out here cause by cause.
TEST(OsErrorToCause, EveryListedCode) {
    struct Row {
        int32_t cause;
        std::vector<int32_t> codes;
    };
    const Row rows[] = {
        {0, {0}},
        {2, {2, 6, 18, 107}},
        {3, {3, 15, 17, 34, 52, 53, 55, 67, 70, 85, 111, 123, 124, 125, 144, 154, 161, 206, 208, 267}},
        {4, {4, 36, 68, 113}},
        {5, {5, 12, 19, 29, 54, 58, 64, 65, 71, 80, 82, 86, 170, 183, 999}},
        {6, {11, 26, 60, 66, 114, 182, 191, 193}},
        {7, {16, 145}},
        {8, {62}},
        {9, {24, 25, 27, 30, 131, 132}},
        {10, {20, 21, 22, 23, 57, 59, 88, 117, 995, 996, 997}},
        {11, {32}},
        {12, {33, 108, 167}},
        {13, {39, 112}},
        {14, {38}},
    };
    std::vector<bool> listed(1100, false);
    for (const Row& row : rows) {
        for (int32_t code : row.codes) {
            EXPECT_EQ(OsErrorToCause(code), row.cause) << "Windows error " << code;
            listed[static_cast<size_t>(code)] = true;
        }
    }
    // Everything else, near and far, is generic.
    for (int32_t code = 0; code < 1100; ++code) {
        if (!listed[static_cast<size_t>(code)]) {
            EXPECT_EQ(OsErrorToCause(code), 1) << "Windows error " << code;
        }
    }
    for (int32_t code : {-1, 1100, 1223, 32000, 0x7FFFFFFF, static_cast<int32_t>(0x80070005)})
        EXPECT_EQ(OsErrorToCause(code), 1) << "Windows error " << code;
}

}  // namespace
