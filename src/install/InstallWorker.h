// The installation worker: the second thread, one run per process.
#pragma once

#include <windows.h>

#include "install/WorkerState.h"

// Starts the worker with its own copy of state; the thread handle, or null.
HANDLE StartInstallWorker(const WorkerState& state);
// The worker's entry: param is a heap WorkerState that the thread takes over; null
// ends the thread at once. Returns 1.
DWORD WINAPI InstallThreadProc(void* param);
// Extracts the database into the temporary folder, runs the installer, deletes the
// database after success; posts at most one terminal status code, last. A run the
// user cancelled before the installer started posts none: the dialog is closing.
void RunInstallation(const WorkerState& state);
