// What the installation run reads of the progress dialog. The worker gets its own copy
// when it starts and never touches the dialog object, which may be gone once the user
// has cancelled.
#pragma once

#include <windows.h>

#include <atomic>
#include <boost/shared_ptr.hpp>

struct WorkerState {
    HWND window;      // the target of every status message
    bool updateMode;  // the dialog's m_updateMode
    // Set by the dialog when it closes, before it waits for the worker: from then on no
    // installer may start. Shared, since the dialog may be gone before the worker ends;
    // null for a run that cannot be cancelled.
    boost::shared_ptr<std::atomic<bool>> cancelled = {};

    bool IsCancelled() const { return cancelled && cancelled->load(); }
};
