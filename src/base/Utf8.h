// Conversions between UTF-8 (POSIX paths, terminal output) and the wide string.
// Invalid input is replaced by U+FFFD, never dropped silently.
#pragma once

#include <string>

#include "base/WideString.h"

WideString WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const WideString& text);
std::string Utf8FromWide(const char16_t* text, size_t length);
