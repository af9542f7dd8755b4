#include "package/EntryName.h"

#include "package/PackageFormat.h"

bool IsValidEntryName(const char16_t* name, size_t length) noexcept {
    if (length == 0 || length > static_cast<size_t>(kMaxNameLength)) return false;
    for (size_t i = 0; i < length; ++i) {
        const char16_t unit = name[i];
        if (unit == 0 || unit == u'\\' || unit == u'/' || unit == u':') return false;
    }
    const char16_t last = name[length - 1];
    // Covers "." and ".." too.
    return last != u'.' && last != u' ';
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
