// The stub's own crc32 stands in for zlib's: it must give zlib's results.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>

namespace {

uLong Crc(const char* text, uLong start = 0) {
    return crc32(start, reinterpret_cast<const Bytef*>(text), static_cast<uInt>(std::strlen(text)));
}

}  // namespace

TEST(ZlibCrc32, GivesTheStandardCheckValues) {
    EXPECT_EQ(Crc("123456789"), 0xCBF43926u);
    EXPECT_EQ(Crc("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
    EXPECT_EQ(Crc(""), 0u);
    const Bytef zeros[32] = {};
    EXPECT_EQ(crc32(0, zeros, sizeof zeros), 0x190A55ADu);
}

TEST(ZlibCrc32, ContinuesFromAPreviousValueAndAnswersZeroForNoBuffer) {
    EXPECT_EQ(Crc("56789", Crc("1234")), 0xCBF43926u);
    EXPECT_EQ(crc32(0x12345678u, Z_NULL, 10), 0u);
}
