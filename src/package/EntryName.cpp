#include "package/EntryName.h"

#include "package/PackageFormat.h"

namespace {

char16_t Upper(char16_t unit) { return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit; }

// Windows opens a device, not a file, for CON, PRN, AUX, NUL, COM1-9 and LPT1-9, in any
// case and whatever extension follows ("nul.txt" is NUL too).
bool IsReservedDeviceName(const char16_t* name, size_t length) {
    size_t stem = 0;
    while (stem < length && name[stem] != u'.') ++stem;
    while (stem > 0 && name[stem - 1] == u' ') --stem;
    if (stem != 3 && stem != 4) return false;
    char16_t up[4] = {};
    for (size_t i = 0; i < stem; ++i) up[i] = Upper(name[i]);
    auto is = [&](const char16_t* word) { return up[0] == word[0] && up[1] == word[1] && up[2] == word[2]; };
    if (stem == 3) return is(u"CON") || is(u"PRN") || is(u"AUX") || is(u"NUL");
    return (is(u"COM") || is(u"LPT")) && up[3] >= u'1' && up[3] <= u'9';
}

}  // namespace

bool IsValidEntryName(const char16_t* name, size_t length) noexcept {
    if (length == 0 || length > static_cast<size_t>(kMaxNameLength)) return false;
    for (size_t i = 0; i < length; ++i) {
        const char16_t unit = name[i];
        if (unit == 0 || unit == u'\\' || unit == u'/' || unit == u':') return false;
    }
    const char16_t last = name[length - 1];
    // Covers "." and ".." too.
    return last != u'.' && last != u' ' && !IsReservedDeviceName(name, length);
}

bool SameEntryName(const WideString& a, const WideString& b) noexcept {
    if (a.GetLength() != b.GetLength()) return false;
    for (size_t i = 0; i < a.GetLength(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

WideString BaseName(const WideString& path) {
    const char16_t* text = path.c_str();
    const size_t length = path.GetLength();
    size_t start = 0;
    for (size_t i = 0; i < length; ++i) {
#ifdef _WIN32
        const bool separator = text[i] == u'\\' || text[i] == u'/';
#else
        const bool separator = text[i] == u'/';
#endif
        if (separator) start = i + 1;
    }
    return WideString(text + start, length - start);
}
