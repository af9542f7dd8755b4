// What the installation run reads of the progress dialog. The worker gets its own copy
// when it starts and never touches the dialog object, which may be gone once the user
// has cancelled.
#pragma once

#include <windows.h>

struct WorkerState {
    HWND window;      // the target of every status message
    bool updateMode;  // the dialog's m_updateMode
};
