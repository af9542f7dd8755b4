#include "tools/sfxpack/files/RandomName.h"

#ifdef _WIN32
#include <windows.h>
// clang-format off
#include <wincrypt.h>
// clang-format on
#else
#include <errno.h>
#include <sys/random.h>
#endif

namespace {

bool FillRandom(unsigned char* bytes, size_t count) {
#ifdef _WIN32
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT)) return false;
    const bool got = CryptGenRandom(provider, static_cast<DWORD>(count), bytes) != 0;
    CryptReleaseContext(provider, 0);
    return got;
#else
    while (count > 0) {
        const ssize_t got = getrandom(bytes, count, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        count -= static_cast<size_t>(got);
    }
    return true;
#endif
}

}  // namespace

WideString RandomName(const char16_t* prefix, const char16_t* suffix) {
    unsigned char random[8];
    if (!FillRandom(random, sizeof random)) return WideString();
    static const char16_t kDigits[] = u"0123456789abcdef";
    char16_t hex[2 * sizeof random];
    for (size_t i = 0; i < sizeof random; ++i) {
        hex[2 * i] = kDigits[random[i] >> 4];
        hex[2 * i + 1] = kDigits[random[i] & 15];
    }
    return WideString(prefix) + WideString(hex, 2 * sizeof random) + WideString(suffix);
}
