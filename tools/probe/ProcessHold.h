// Holds a program's own threads still but for one (the one that runs its window), so
// that a picture can be taken of a state that would otherwise last milliseconds. It
// attaches as a debugger for the time of the hold: a thread the program starts
// meanwhile (the installation worker, when the hold began before it) is stopped before
// it runs any of its code. Threads that start elsewhere than in the program's image,
// such as the one that plays the animation, run on, so the window keeps drawing. The
// program runs on unchanged when the hold ends.
#pragma once

#include <windows.h>

class ProcessHold {
public:
    ProcessHold(DWORD processId, DWORD keepThreadId);
    ~ProcessHold();  // detaches and lets every held thread run again
    ProcessHold(const ProcessHold&) = delete;
    ProcessHold& operator=(const ProcessHold&) = delete;

    // Handles the program's debug events for up to waitMs, holding new threads.
    void Service(DWORD waitMs);
    // Threads held so far; attached, only those the program's own code started.
    int HeldCount() const { return m_heldCount; }
    // Attached, and a thread of the program's own code was already running when the
    // hold began: the program's work was under way before it.
    bool FoundAtWork() const { return m_heldAtAttach > 0; }

private:
    void Hold(HANDLE thread, DWORD threadId);
    void HoldExistingThreads();
    bool InImage(const void* address) const;

    DWORD m_processId;
    DWORD m_keepThreadId;
    const BYTE* m_imageStart = nullptr;
    const BYTE* m_imageEnd = nullptr;
    bool m_attached;
    HANDLE m_held[256] = {};
    DWORD m_heldIds[256] = {};
    int m_heldCount = 0;
    int m_heldAtAttach = 0;   // the threads that ran before the hold, once all are known
    bool m_attachBreakSeen = false;
};
