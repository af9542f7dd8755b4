// The words for what is wrong with an entry's name, and the start of a message about
// one entry.
#pragma once

#include <cstdint>
#include <string>

#include "base/WideString.h"

class SelfExtractor;

// Why an entry name is refused.
std::string NameProblem(const WideString& name);
// "entry 3 (name): ", the start of a message about one entry.
std::string EntryText(const SelfExtractor& reader, int32_t index);
