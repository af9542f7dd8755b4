// Plain byte-sequence search, used to find the package marker in a window.
#pragma once

#include <cstddef>
#include <cstdint>

// Index of the first occurrence of needle in haystack, or -1. An empty needle
// is found at 0.
ptrdiff_t FindBytes(const uint8_t* haystack, size_t haystackLength, const uint8_t* needle,
                    size_t needleLength) noexcept;
