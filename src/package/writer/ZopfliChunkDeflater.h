// The packer's encoder at level 11: one chunk deflated by zopfli, which spends about a
// hundred times zlib's time searching for a shorter stream that any inflate reads. Like
// the zlib path, the chunk is a raw deflate stream primed with the bytes before it and
// ended on a byte boundary (the last chunk ends the stream), so chunks join the same way.
// Memory while a chunk is deflated: zopfli's own, at most about 40 MiB.
#pragma once

#include <cstdint>
#include <vector>

class ZopfliChunkDeflater {
public:
    // What pigz -11 runs: 15 rounds of zopfli's optimal parse.
    static constexpr int32_t kDefaultIterations = 15;
    static constexpr int32_t kMaxIterations = 1000;

    // iterations is clamped to 1..kMaxIterations.
    explicit ZopfliChunkDeflater(int32_t iterations);

    // Deflates the length bytes at data, with the window bytes before data as the
    // window its matches may reach, into output[0, *outputLength) (output only grows).
    // The last chunk ends with the final block; any other ends on a byte boundary.
    // false when memory for the output cannot be had.
    bool Deflate(const uint8_t* data, uint32_t window, uint32_t length, bool last,
                 std::vector<uint8_t>* output, uint32_t* outputLength) const noexcept;

private:
    int32_t m_iterations;
};
