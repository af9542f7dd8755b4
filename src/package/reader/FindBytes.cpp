#include "package/reader/FindBytes.h"

#include <cstring>

ptrdiff_t FindBytes(const uint8_t* haystack, size_t haystackLength, const uint8_t* needle,
                    size_t needleLength) noexcept {
    if (needleLength == 0) return 0;
    if (haystackLength < needleLength) return -1;
    const size_t last = haystackLength - needleLength;
    for (size_t i = 0; i <= last; ++i) {
        // memchr skips quickly to the next candidate first byte.
        const void* hit = std::memchr(haystack + i, needle[0], last - i + 1);
        if (hit == nullptr) return -1;
        i = static_cast<size_t>(static_cast<const uint8_t*>(hit) - haystack);
        if (std::memcmp(haystack + i, needle, needleLength) == 0) return static_cast<ptrdiff_t>(i);
    }
    return -1;
}
