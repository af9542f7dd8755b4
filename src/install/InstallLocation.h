// Where the application is installed, and its start after a successful run. Neither
// keeps state nor reports anything.
#pragma once

#include "base/WideString.h"

// The registered install folder (HKCU, then HKLM), without closing backslashes, or
// the default folder.
WideString GetInstallDir();
// Starts Corvella.exe from the install folder, if the folder exists.
void StartApplication();
