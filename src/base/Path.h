// Paths as the package layer and the packer spell them: the one set of separators,
// base names, folder parts, joining, and the case folding of names.
#pragma once

#include <cstddef>

#include "base/WideString.h"

// The separator that joins write. Windows reads the slash as one too; on POSIX a
// backslash is part of a name.
#ifdef _WIN32
constexpr char16_t kPathSeparator = u'\\';
#else
constexpr char16_t kPathSeparator = u'/';
#endif
inline bool IsPathSeparator(char16_t unit) noexcept {
    return unit == kPathSeparator || unit == u'/';
}

// The part of path after its last separator, or the whole path when it holds none.
WideString BaseName(const WideString& path);
// path up to and including its last separator (on Windows also up to a drive's colon,
// so that "C:x.exe" gives "C:"); empty for a bare name.
WideString FolderOf(const WideString& path);
// path without its last separator and what follows it; empty when it holds none.
WideString ParentFolder(const WideString& path);
// Adds a separator to folder unless it ends in one (an empty folder gets one).
void AppendSeparator(WideString& folder);
// folder and name with one separator between them.
WideString InFolder(WideString folder, const WideString& name);

// Windows compares file names without regard to case: the upper case of an ASCII
// letter, every other unit as it is.
inline char16_t FoldCase(char16_t unit) noexcept {
    return unit >= u'a' && unit <= u'z' ? static_cast<char16_t>(unit - 32) : unit;
}
// True when a and b differ in ASCII case at most.
bool SameIgnoringCase(const char16_t* a, const char16_t* b, size_t length) noexcept;
// True when path ends in suffix, ASCII case aside ("Setup.EXE" ends in ".exe").
bool EndsWithIgnoringCase(const WideString& path, const WideString& suffix) noexcept;
