// Hands the extracted database to the Windows Installer and waits for it.
#pragma once

#include "base/WideString.h"
#include "install/WorkerState.h"

// Runs msiexec on databasePath and waits for it; true when it ended with 0. Posts
// 104, 105 or 210 itself on failure, and nothing when the run was cancelled before
// msiexec started. Hides the window first in normal mode.
bool LaunchInstaller(const WorkerState& state, WideString databasePath);
