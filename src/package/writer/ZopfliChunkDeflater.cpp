#include "package/writer/ZopfliChunkDeflater.h"

#include <zopfli/deflate.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <new>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// zopfli deflates a chunk in parts that follow one another bit by bit, each reaching
// back into the parts before it. Its memory grows with the part: some 120 MiB for 1 MiB
// of incompressible bytes (a database's cabinets), 35 MiB for 256 KiB.
constexpr uint32_t kPart = 256 * 1024;
// Blocks zopfli may split a part into. Its default of 15 leaves shared libraries 0.7 %
// larger than pigz -11 (15 per 128 KiB block) when a part is 1 MiB; 20 per 256 KiB
// gives pigz's size in less time than pigz takes.
constexpr int kMaxBlocks = 20;

struct FreeBytes {
    void operator()(unsigned char* bytes) const { std::free(bytes); }
};

// Appends count bits of value, low bit first, as deflate and zopfli write them;
// *bitPosition is the count of bits used in the last byte, 0 when it is full.
void AddBits(uint32_t value, int count, unsigned char* bitPosition, uint8_t** end) {
    for (int i = 0; i < count; ++i) {
        if (*bitPosition == 0) *(*end)++ = 0;
        (*end)[-1] |= static_cast<uint8_t>(((value >> i) & 1) << *bitPosition);
        *bitPosition = static_cast<unsigned char>((*bitPosition + 1) & 7);
    }
}

// Fills up the last byte as the zlib path does: empty fixed blocks of 10 bits while
// that can reach a byte (an even count of bits used), else an empty stored block,
// whose length comes on a byte boundary. At most 5 bytes.
void EndOnByteBoundary(unsigned char* bitPosition, uint8_t** end) {
    if (*bitPosition & 1) {
        AddBits(0, 3, bitPosition, end);  // not final, stored
        if (*bitPosition != 0) AddBits(0, 8 - *bitPosition, bitPosition, end);
        for (uint8_t byte : {0x00, 0x00, 0xFF, 0xFF}) *(*end)++ = byte;  // LEN 0, NLEN
    } else {
        while (*bitPosition != 0) AddBits(2, 10, bitPosition, end);  // not final, fixed; end of block
    }
}

constexpr size_t kBoundaryBytes = 5;

// zopfli grows and frees arrays of many sizes; glibc keeps what they leave free in the
// thread's arena, where a long run's memory creeps up chunk by chunk. Handing it back
// to the system after each chunk keeps the peak what one chunk needs.
void ReturnFreeMemory() {
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

}  // namespace

ZopfliChunkDeflater::ZopfliChunkDeflater(int32_t iterations)
    : m_iterations(std::clamp(iterations, 1, kMaxIterations)) {}

bool ZopfliChunkDeflater::Deflate(const uint8_t* data, uint32_t window, uint32_t length, bool last,
                                  std::vector<uint8_t>* output, uint32_t* outputLength) const noexcept {
    ZopfliOptions options;
    ZopfliInitOptions(&options);
    options.numiterations = m_iterations;
    options.blocksplittingmax = kMaxBlocks;
    unsigned char bitPosition = 0;
    unsigned char* bytes = nullptr;
    size_t count = 0;
    // zopfli looks back at most 32 KiB from a part's start, so window bytes are enough
    // for the first.
    uint32_t start = 0;
    do {
        const uint32_t end = length - start > kPart ? start + kPart : length;
        ZopfliDeflatePart(&options, 2, last && end == length ? 1 : 0, data - window, window + size_t{start},
                          window + size_t{end}, &bitPosition, &bytes, &count);
        start = end;
    } while (start < length);
    const std::unique_ptr<unsigned char, FreeBytes> owned(bytes);
    ReturnFreeMemory();
    try {
        if (output->size() < count + kBoundaryBytes) output->resize(count + kBoundaryBytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    uint8_t* end = std::copy(bytes, bytes + count, output->data());
    if (!last) EndOnByteBoundary(&bitPosition, &end);
    *outputLength = static_cast<uint32_t>(end - output->data());
    return true;
}
