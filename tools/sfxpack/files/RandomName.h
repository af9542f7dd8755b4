// Names no one could guess beforehand, for files and folders made beside others.
#pragma once

#include "base/WideString.h"

// prefix, then 16 hexadecimal digits from the system's random source, then suffix;
// empty when the system gives no random bytes.
WideString RandomName(const char16_t* prefix, const char16_t* suffix);
