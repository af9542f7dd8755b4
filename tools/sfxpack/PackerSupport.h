// What the packer's commands share: opening a package with its errors reported,
// and the words of their messages.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/WideString.h"

class CFileException;
class SelfExtractor;

// Reads the table of contents, reporting a failure; kExitOk when it was read.
int OpenPackage(SelfExtractor& extractor, const WideString& path);
// Why an entry name is refused.
std::string NameProblem(const WideString& name);
// The first of indexes before position upTo whose entry has the same file name as
// entry index, or -1.
int32_t EarlierEntryOfSameName(const SelfExtractor& reader, const std::vector<int32_t>& indexes, size_t upTo,
                               int32_t index);
std::string SameNameProblem(int32_t earlier);
// "entry 3 (name): ", the start of a message about one entry.
std::string EntryText(const SelfExtractor& reader, int32_t index);
// Why an output could not be written, and why no temporary file could be made
// beside it.
extern const char kCannotWriteOutput[];
std::string CannotCreateBeside(const CFileException& error);
