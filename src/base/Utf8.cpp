#include "base/Utf8.h"

#include <cstdint>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
    return byte >= low && byte <= high;
}

void AppendUtf8(std::string& out, uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

}  // namespace

// Each maximal ill-formed subpart becomes one U+FFFD (Unicode's recommended practice):
// overlong forms, encoded surrogates, values above U+10FFFF, stray continuation
// bytes and sequences cut short.
WideString WideFromUtf8(const std::string& text) {
    std::u16string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        unsigned char lead = bytes[i];
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        unsigned count;  // continuation bytes
        uint32_t code;
        unsigned char low = 0x80, high = 0xBF;  // range of the first continuation byte
        if (InRange(lead, 0xC2, 0xDF)) {
            count = 1;
            code = lead & 0x1F;
        } else if (InRange(lead, 0xE0, 0xEF)) {
            count = 2;
            code = lead & 0x0F;
            if (lead == 0xE0) low = 0xA0;   // overlong
            if (lead == 0xED) high = 0x9F;  // surrogates
        } else if (InRange(lead, 0xF0, 0xF4)) {
            count = 3;
            code = lead & 0x07;
            if (lead == 0xF0) low = 0x90;   // overlong
            if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool valid = true;
        for (unsigned k = 0; k < count; ++k, ++j) {
            unsigned char next = j < size ? bytes[j] : 0;
            bool ok = j < size && (k == 0 ? InRange(next, low, high) : InRange(next, 0x80, 0xBF));
            if (!ok) {
                valid = false;
                break;
            }
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            out.push_back(kReplacement);
            i = j;  // the offending byte starts the next sequence
            continue;
        }
        if (code >= 0x10000) {
            code -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 | (code >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (code & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(code));
        }
        i = j;
    }
    return WideString(out.data(), out.size());
}

std::string Utf8FromWide(const WideString& text) {
    return Utf8FromWide(text.c_str(), text.GetLength());
}

// An unpaired surrogate becomes U+FFFD.
std::string Utf8FromWide(const char16_t* text, size_t length) {
    std::string out;
    if (text == nullptr) return out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            uint32_t code = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
            AppendUtf8(out, code);
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, unit);
        }
    }
    return out;
}
