// Creates and shows the progress dialog and runs the message loop until the dialog,
// or anyone else, posts the quit message. Returns the quit message's code, or 0 when
// the dialog cannot be created.
#pragma once

#include <windows.h>

// commandLine is accepted and left unused: the dialog reads the runtime's parsed
// argument vector instead.
int Run(LPWSTR commandLine, int showCommand);
