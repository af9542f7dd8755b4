// The first step of every command that reads a package: its table read, or one line
// saying why it cannot be (a file that cannot be read, no package, or one cut short).
#pragma once

#include <string>

#include "base/WideString.h"

class SelfExtractor;
struct TocLocation;

// Reads the table of the package at path into reader; kExitOk when it was read (and
// found at *location, when asked). Otherwise prints the error line, puts its words
// (what follows the file's name) into *problem when asked, and answers its status.
int OpenPackage(SelfExtractor& reader, const WideString& path, TocLocation* location = nullptr,
                std::string* problem = nullptr);
