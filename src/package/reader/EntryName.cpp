#include "package/reader/EntryName.h"

#include "base/Path.h"
#include "package/PackageFormat.h"

namespace {

// Windows opens a device, not a file, for CON, PRN, AUX, NUL, COM1-9 and LPT1-9, in any
// case and whatever extension follows ("nul.txt" is NUL too).
bool IsReservedDeviceName(const char16_t* name, size_t length) {
    size_t stem = 0;
    while (stem < length && name[stem] != u'.') ++stem;
    while (stem > 0 && name[stem - 1] == u' ') --stem;
    if (stem != 3 && stem != 4) return false;
    char16_t up[4] = {};
    for (size_t i = 0; i < stem; ++i) up[i] = FoldCase(name[i]);
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
    return a.GetLength() == b.GetLength() && SameIgnoringCase(a.c_str(), b.c_str(), a.GetLength());
}
