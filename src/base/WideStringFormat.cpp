// Our own printf-style formatter, so that every platform gives the same text and
// "%s" always means a UTF-16 string.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "base/WideString.h"

namespace {

// Widths and precisions beyond this are taken as this; the result could not be held anyway.
constexpr unsigned kMaxField = 0x7FFFFFFF;

struct Spec {
    bool left = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    bool zero = false;
    unsigned width = 0;
    bool hasPrecision = false;
    unsigned precision = 0;
};

unsigned ReadNumber(const char16_t*& p) {
    unsigned value = 0;
    while (*p >= u'0' && *p <= u'9') {
        unsigned digit = static_cast<unsigned>(*p - u'0');
        value = value > (kMaxField - digit) / 10 ? kMaxField : value * 10 + digit;
        ++p;
    }
    return value;
}

// A growable run of units. Not std::u16string: that drags the standard library's
// string and exception machinery (tens of KiB) into the installer stub.
class UnitBuffer {
public:
    UnitBuffer() = default;
    UnitBuffer(const UnitBuffer&) = delete;
    UnitBuffer& operator=(const UnitBuffer&) = delete;
    ~UnitBuffer() { std::free(m_units); }

    void append(const char16_t* units, size_t count) {
        if (count == 0) return;
        Reserve(count);
        std::memcpy(m_units + m_size, units, count * sizeof(char16_t));
        m_size += count;
    }
    void append(size_t count, char16_t unit) {
        Reserve(count);
        for (size_t i = 0; i < count; ++i) m_units[m_size++] = unit;
    }
    void push_back(char16_t unit) { append(1, unit); }
    const char16_t* data() const noexcept { return m_units != nullptr ? m_units : u""; }
    size_t size() const noexcept { return m_size; }

private:
    void Reserve(size_t more) {
        if (more <= m_capacity - m_size) return;
        const size_t limit = static_cast<size_t>(-1) / sizeof(char16_t) / 2;
        if (more > limit - m_size) throw std::bad_alloc();
        size_t capacity = m_capacity + m_capacity / 2;
        if (capacity < m_size + more) capacity = m_size + more;
        if (capacity < 64) capacity = 64;
        void* grown = std::realloc(m_units, capacity * sizeof(char16_t));
        if (grown == nullptr) throw std::bad_alloc();
        m_units = static_cast<char16_t*>(grown);
        m_capacity = capacity;
    }

    char16_t* m_units = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
};

void Pad(UnitBuffer& out, unsigned count, char16_t unit) {
    if (count > 0) out.append(count, unit);
}

// Lays out [sign or 0x][zeros][digits] in the field as C's printf does.
void AppendInteger(UnitBuffer& out, const Spec& spec, bool isSigned, bool negative, uint32_t magnitude,
                   unsigned base, bool upper) {
    const char16_t* digitSet = upper ? u"0123456789ABCDEF" : u"0123456789abcdef";
    const bool isZero = magnitude == 0;
    char16_t digits[32];
    unsigned digitCount = 0;
    if (!(spec.hasPrecision && spec.precision == 0 && isZero)) {
        do {
            digits[digitCount++] = digitSet[magnitude % base];
            magnitude /= base;
        } while (magnitude != 0);
    }
    const char16_t* prefix = u"";
    if (negative)
        prefix = u"-";
    else if (isSigned && spec.plus)
        prefix = u"+";
    else if (isSigned && spec.space)
        prefix = u" ";
    else if (base == 16 && spec.alternate && !isZero)
        prefix = upper ? u"0X" : u"0x";
    unsigned prefixLength = 0;
    while (prefix[prefixLength] != 0) ++prefixLength;
    unsigned zeros = spec.hasPrecision && spec.precision > digitCount ? spec.precision - digitCount : 0;
    uint64_t total = static_cast<uint64_t>(prefixLength) + zeros + digitCount;
    unsigned padding = spec.width > total ? static_cast<unsigned>(spec.width - total) : 0;

    if (!spec.left && !(spec.zero && !spec.hasPrecision)) Pad(out, padding, u' ');
    out.append(prefix, prefixLength);
    if (!spec.left && spec.zero && !spec.hasPrecision) Pad(out, padding, u'0');
    Pad(out, zeros, u'0');
    for (unsigned i = digitCount; i > 0; --i) out.push_back(digits[i - 1]);
    if (spec.left) Pad(out, padding, u' ');
}

// Strings and single units; the 0 flag pads with zeros as the Windows C runtime does.
void AppendText(UnitBuffer& out, const Spec& spec, const char16_t* text, size_t length) {
    unsigned padding = spec.width > length ? static_cast<unsigned>(spec.width - length) : 0;
    if (!spec.left) Pad(out, padding, spec.zero ? u'0' : u' ');
    out.append(text, length);
    if (spec.left) Pad(out, padding, u' ');
}

size_t BoundedLength(const char16_t* text, const Spec& spec) {
    size_t length = 0;
    while ((!spec.hasPrecision || length < spec.precision) && text[length] != 0) ++length;
    return length;
}

}  // namespace

bool WideString::Format(const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    bool result = FormatV(format, args);
    va_end(args);
    return result;
}

// The text is built apart and assigned at the end, so the format and the %s
// arguments may be this string's own text.
bool WideString::FormatV(const char16_t* format, va_list args) {
    if (format == nullptr) return false;
    UnitBuffer out;
    const char16_t* p = format;
    while (*p != 0) {
        if (*p != u'%') {
            const char16_t* start = p;
            while (*p != 0 && *p != u'%') ++p;
            out.append(start, static_cast<size_t>(p - start));
            continue;
        }
        const char16_t* directive = p++;
        Spec spec;
        for (;; ++p) {
            if (*p == u'-')
                spec.left = true;
            else if (*p == u'+')
                spec.plus = true;
            else if (*p == u' ')
                spec.space = true;
            else if (*p == u'#')
                spec.alternate = true;
            else if (*p == u'0')
                spec.zero = true;
            else
                break;
        }
        if (*p == u'*') {
            int width = va_arg(args, int);
            if (width < 0) {
                spec.left = true;
                spec.width = 0u - static_cast<unsigned>(width);
                if (spec.width > kMaxField) spec.width = kMaxField;
            } else {
                spec.width = static_cast<unsigned>(width);
            }
            ++p;
        } else {
            spec.width = ReadNumber(p);
        }
        if (*p == u'.') {
            ++p;
            spec.hasPrecision = true;
            if (*p == u'*') {
                int precision = va_arg(args, int);
                // A negative precision counts as none.
                spec.hasPrecision = precision >= 0;
                spec.precision = precision >= 0 ? static_cast<unsigned>(precision) : 0;
                ++p;
            } else {
                spec.precision = ReadNumber(p);
            }
        }
        // Sizes are accepted and ignored: every integer is 32-bit, every string UTF-16.
        if (*p == u'h' || *p == u'l') ++p;

        switch (*p) {
            case u'd':
            case u'i': {
                int value = va_arg(args, int);
                uint32_t magnitude =
                    value < 0 ? 0u - static_cast<uint32_t>(value) : static_cast<uint32_t>(value);
                AppendInteger(out, spec, true, value < 0, magnitude, 10, false);
                break;
            }
            case u'u':
                AppendInteger(out, spec, false, false, va_arg(args, unsigned), 10, false);
                break;
            case u'x':
                AppendInteger(out, spec, false, false, va_arg(args, unsigned), 16, false);
                break;
            case u'X':
                AppendInteger(out, spec, false, false, va_arg(args, unsigned), 16, true);
                break;
            case u'c': {
                char16_t unit = static_cast<char16_t>(va_arg(args, int));
                AppendText(out, spec, &unit, 1);
                break;
            }
            case u's': {
                const char16_t* text = va_arg(args, const char16_t*);
                if (text == nullptr) text = u"(null)";
                AppendText(out, spec, text, BoundedLength(text, spec));
                break;
            }
            case u'%':
                out.push_back(u'%');
                break;
            case 0:
                // A directive cut off by the end of the format stays as written.
                out.append(directive, static_cast<size_t>(p - directive));
                continue;
            default:
                out.append(directive, static_cast<size_t>(p + 1 - directive));
                break;
        }
        ++p;
    }
    Assign(out.data(), out.size());
    return true;
}
