// The file-system questions the packer asks beyond the file layer.
#pragma once

#include <cstdint>
#include <string>

#include "base/WideString.h"

class CFile;

bool IsDirectory(const WideString& path);
// True when both paths exist and name the same file.
bool SameFile(const WideString& a, const WideString& b);
// True when name itself, a link not followed, is the file that path leads to: a
// hard link to it or its own name.
bool IsNameOf(const WideString& name, const WideString& path);
// The length of the file at path, in *size; false when it cannot be had.
bool SizeOf(const WideString& path, uint64_t* size);
// True when something, a dangling link included, has this name.
bool PathExistsNoFollow(const WideString& path);
// Moves from over to, replacing a file there in one step.
bool MoveIntoPlace(const WideString& from, const WideString& to);
// Opens path for reading into file; false with the reason in words in *why (the
// system's, for a file it refused). A folder, FIFO or device is refused without
// being opened.
bool OpenForReading(const WideString& path, CFile& file, std::string* why);
