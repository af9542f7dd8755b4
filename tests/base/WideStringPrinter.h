// Lets GoogleTest show a WideString as readable text in failure messages.
#pragma once

#include <ostream>

#include "base/Utf8.h"
#include "base/WideString.h"

inline void PrintTo(const WideString& text, std::ostream* out) {
    *out << '"' << Utf8FromWide(text) << '"';
}
