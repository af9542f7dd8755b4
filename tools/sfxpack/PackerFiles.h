// The few file-system questions the packer asks beyond the file layer.
#pragma once

#include <cstdint>
#include <string>

#include "base/WideString.h"

bool IsDirectory(const WideString& path);
// True when both paths exist and name the same file.
bool SameFile(const WideString& a, const WideString& b);
// True when name itself, a link not followed, is the file that path leads to: a
// hard link to it or its own name.
bool IsNameOf(const WideString& name, const WideString& path);
// True when something, a dangling link included, has this name.
bool PathExistsNoFollow(const WideString& path);
// Moves from over to, replacing a file there in one step.
bool MoveIntoPlace(const WideString& from, const WideString& to);
// Why a file cannot be opened for reading, in words ("" when it can); a folder, FIFO
// or device is refused without being opened.
std::string WhyUnreadable(const WideString& path);
// Text for a file-layer cause code.
std::string CauseText(int32_t cause);
