#include "base/Path.h"

namespace {

// Where the last component of path begins: after its last separator, and on
// Windows with drives after a drive's colon too.
size_t LastComponent(const WideString& path, bool drives) {
    size_t start = 0;
    for (size_t i = 0; i < path.GetLength(); ++i) {
        if (IsPathSeparator(path[i])) start = i + 1;
    }
#ifdef _WIN32
    if (drives && start == 0 && path.GetLength() >= 2 && path[1] == u':') start = 2;
#else
    (void)drives;
#endif
    return start;
}

}  // namespace

WideString BaseName(const WideString& path) {
    const size_t start = LastComponent(path, false);
    return WideString(path.c_str() + start, path.GetLength() - start);
}

WideString FolderOf(const WideString& path) {
    return WideString(path.c_str(), LastComponent(path, true));
}

WideString ParentFolder(const WideString& path) {
    const size_t start = LastComponent(path, false);
    return WideString(path.c_str(), start > 0 ? start - 1 : 0);
}

void AppendSeparator(WideString& folder) {
    const size_t length = folder.GetLength();
    if (length == 0 || !IsPathSeparator(folder[length - 1])) folder += kPathSeparator;
}

WideString InFolder(WideString folder, const WideString& name) {
    AppendSeparator(folder);
    return folder + name;
}

bool SameIgnoringCase(const char16_t* a, const char16_t* b, size_t length) noexcept {
    for (size_t i = 0; i < length; ++i) {
        if (FoldCase(a[i]) != FoldCase(b[i])) return false;
    }
    return true;
}

bool EndsWithIgnoringCase(const WideString& path, const WideString& suffix) noexcept {
    const size_t length = suffix.GetLength();
    return path.GetLength() >= length &&
           SameIgnoringCase(path.c_str() + path.GetLength() - length, suffix.c_str(), length);
}
