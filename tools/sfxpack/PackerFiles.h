// The few file-system questions the packer asks beyond the file layer.
#pragma once

#include <cstdint>
#include <string>

#include "base/WideString.h"

bool IsDirectory(const WideString& path);
// True when both paths exist and name the same file.
bool SameFile(const WideString& a, const WideString& b);
// Moves from over to, replacing a file there in one step.
bool MoveIntoPlace(const WideString& from, const WideString& to);
void RemoveFileQuietly(const WideString& path);
// A name beside path for the output being written; unique to this process.
WideString TemporaryBeside(const WideString& path);
// Why a file cannot be opened for reading, in words ("" when it can); a folder, FIFO
// or device is refused without being opened.
std::string WhyUnreadable(const WideString& path);
// Text for a file-layer cause code.
std::string CauseText(int32_t cause);
