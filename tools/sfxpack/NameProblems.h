// Why the packer refuses an entry's name: one that extraction would refuse, or one
// that names the same file as an earlier entry's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/WideString.h"

class SelfExtractor;

// Why an entry name is refused.
std::string NameProblem(const WideString& name);
// The first of indexes before position upTo whose entry has the same file name as
// entry index, or -1.
int32_t EarlierEntryOfSameName(const SelfExtractor& reader, const std::vector<int32_t>& indexes, size_t upTo,
                               int32_t index);
std::string SameNameProblem(int32_t earlier);
// "entry 3 (name): ", the start of a message about one entry.
std::string EntryText(const SelfExtractor& reader, int32_t index);
