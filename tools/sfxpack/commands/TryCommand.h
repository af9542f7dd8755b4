// sfxpack try: runs an installer under Wine as a user would and says what happened.
// The work is done by the Python package sfxtry and the UI probe sfxprobe.exe, shipped
// beside the stub; this finds them and the programs they need, and hands over.
#pragma once

#include <vector>

#include "base/WideString.h"

bool IsTryCommand(const std::vector<WideString>& args);
// On Linux the process becomes python3 running sfxtry; a status is returned only when
// that cannot happen: kExitCannotRead when something is missing (named, with the
// Debian packages that bring it), kExitUsage on Windows, where try does not run.
int RunTry(const std::vector<WideString>& args);
