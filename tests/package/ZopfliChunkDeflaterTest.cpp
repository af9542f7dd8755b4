// Level 11's chunk: a raw deflate stream that reaches into the bytes before it and,
// unless it is the last, ends on a byte boundary however many bits zopfli left.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "package/writer/ZopfliChunkDeflater.h"
#include "support/TestFiles.h"

namespace {

// Raw inflate of a chunk's stream with the window before it as the dictionary; the
// stream must be whole (a final block) and nothing may follow it.
std::vector<uint8_t> InflateRaw(const std::vector<uint8_t>& stream, const std::vector<uint8_t>& window) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -MAX_WBITS), Z_OK);
    if (!window.empty()) {
        EXPECT_EQ(inflateSetDictionary(&z, window.data(), static_cast<uInt>(window.size())), Z_OK);
    }
    std::vector<uint8_t> out(1 << 20);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int r = inflate(&z, Z_FINISH);
    EXPECT_EQ(r, Z_STREAM_END);
    EXPECT_EQ(z.avail_in, 0u) << "bytes after the final block";
    out.resize(z.total_out);
    inflateEnd(&z);
    return out;
}

struct Chunk {
    std::vector<uint8_t> stream;
    bool stored = false;  // ended by an empty stored block
};

Chunk Deflate(const std::vector<uint8_t>& window, const std::vector<uint8_t>& data, bool last) {
    std::vector<uint8_t> joined = window;
    joined.insert(joined.end(), data.begin(), data.end());
    Chunk chunk;
    chunk.stream.assign(3, 0xAB);  // a used buffer: what it held must not matter
    uint32_t length = 0;
    EXPECT_TRUE(
        ZopfliChunkDeflater(1).Deflate(joined.data() + window.size(), static_cast<uint32_t>(window.size()),
                                       static_cast<uint32_t>(data.size()), last, &chunk.stream, &length));
    chunk.stream.resize(length);
    static const uint8_t kStoredEnd[] = {0x00, 0x00, 0xFF, 0xFF};
    chunk.stored = length >= 4 && std::equal(kStoredEnd, kStoredEnd + 4, chunk.stream.end() - 4);
    return chunk;
}

TEST(ZopfliChunkDeflater, ChunksEndOnAByteAndReachIntoTheirWindow) {
    // Chunks of many lengths leave zopfli's last byte with every count of bits: each
    // must end on a byte, with empty fixed blocks or an empty stored block, and read
    // back once a final empty fixed block (0x03 0x00) follows it.
    int stored = 0;
    int others = 0;
    for (uint32_t seed = 1; seed <= 24; ++seed) {
        SCOPED_TRACE(seed);
        const std::vector<uint8_t> data = TextBytes(100 + seed * 97, seed);
        Chunk chunk = Deflate({}, data, false);
        (chunk.stored ? stored : others) += 1;
        chunk.stream.insert(chunk.stream.end(), {0x03, 0x00});
        EXPECT_EQ(InflateRaw(chunk.stream, {}), data);
        // The last chunk ends the stream itself.
        EXPECT_EQ(InflateRaw(Deflate({}, data, true).stream, {}), data);
    }
    EXPECT_GT(stored, 0);
    EXPECT_GT(others, 0);

    // Noise that repeats the end of the 32 KiB window: a few bytes with the window,
    // the noise itself without it.
    const std::vector<uint8_t> window = RandomBytes(32768, 5);
    const std::vector<uint8_t> again(window.end() - 5000, window.end());
    const Chunk primed = Deflate(window, again, true);
    EXPECT_LT(primed.stream.size(), 100u);
    EXPECT_EQ(InflateRaw(primed.stream, window), again);
    EXPECT_GT(Deflate({}, again, true).stream.size(), again.size());
}

}  // namespace
