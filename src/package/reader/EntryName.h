// Entry names as the reader accepts them, and when two of them name one file.
#pragma once

#include <cstddef>

#include "base/WideString.h"

// A name that, joined to a folder, names a file inside that folder on every
// platform: not empty, at most 255 units, no \ / : or zero unit, not . or .., and
// not ending in a dot or space (Windows drops those, so "x." would alias "x" and
// ".. " would be the parent folder), and not a name Windows reserves for a device
// (CON, PRN, AUX, NUL, COM1-9, LPT1-9, in any case, with or without an extension).
bool IsValidEntryName(const char16_t* name, size_t length) noexcept;
inline bool IsValidEntryName(const WideString& name) noexcept {
    return IsValidEntryName(name.c_str(), name.GetLength());
}

// True when a and b name one file on Windows, which compares names without regard to
// case. Folds ASCII only: every pair that differs in ASCII case alone is caught.
bool SameEntryName(const WideString& a, const WideString& b) noexcept;
