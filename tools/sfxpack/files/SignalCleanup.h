// What an interrupted command must not leave behind. Paths kept here are removed
// when SIGINT, SIGTERM, SIGHUP or SIGQUIT arrives (Ctrl+C, Ctrl+Break or closing
// the console on Windows), before the process ends as the signal would have ended
// it (on Windows with kExitInterrupted). The handler only removes paths computed
// beforehand, so it is safe to run at any moment.
#pragma once

#include "base/WideString.h"

#ifndef _WIN32
#include <signal.h>
#endif

class SignalCleanup {
public:
    // Blocks the signals while it lives, so that creating a file and keeping its
    // path happen as one step: an interrupt then finds either nothing made or the
    // path of what was made.
    class Block {
    public:
        Block();
        Block(const Block&) = delete;
        Block& operator=(const Block&) = delete;
        ~Block();

    private:
#ifndef _WIN32
        sigset_t m_previous;
#endif
    };

    enum Kind { kFile, kFolder };

    // Keeps path to be removed on an interrupt until Forget; answers its slot, or
    // -1 when every slot is taken or the path is too long. Folders are removed
    // after files. Call with a Block in place.
    static int Keep(const WideString& path, Kind kind);
    static void Forget(int slot);
};
