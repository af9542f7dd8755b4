// zlib's crc32 for the stub, computed bit by bit. inflate refers to crc32 for gzip
// input, which the stub never reads (its streams are zlib format, checked with
// Adler-32), yet the reference pulls in zlib's table-driven crc32: about 8 KiB of
// tables and code. Linked before zlib, this definition stands in for it; it gives the
// same results, only slower, should it ever be called.
#include <zlib.h>

#include <cstdint>

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
    if (buf == Z_NULL) return 0;
    uint32_t value = ~static_cast<uint32_t>(crc);
    while (len-- > 0) {
        value ^= *buf++;
        for (int bit = 0; bit < 8; ++bit) value = (value >> 1) ^ (0xEDB88320u & (0u - (value & 1u)));
    }
    return ~value;
}
