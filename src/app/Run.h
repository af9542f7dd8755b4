// Creates and shows the progress dialog and runs the message loop until the dialog,
// or anyone else, posts the quit message. Returns the quit message's code, or 0 when
// the dialog cannot be created.
#pragma once

#include <windows.h>

int Run(LPWSTR commandLine, int showCommand);
