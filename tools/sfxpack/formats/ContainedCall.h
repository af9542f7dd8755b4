// Runs work that may crash, hang or eat memory on hostile input (a library reading a
// damaged file) in a child process of its own, and takes back only its answer: the
// packer stays standing whatever the work does. POSIX only.
#pragma once

#include <functional>
#include <string>

// False under AddressSanitizer, which needs more address space than any limit allows:
// there the memory limit is left unset.
extern const bool kContainedMemoryLimited;

struct ContainedLimits {
    int seconds = 10;                // wall time, then the child is killed
    unsigned long megabytes = 1024;  // address space (left unlimited under AddressSanitizer)
};

enum class ContainedOutcome {
    kAnswered,    // the work returned; *answer holds what it returned
    kCrashed,     // ended by a signal or without an answer (a memory limit ends it so too)
    kTimedOut,    // still running at the time limit, and killed
    kNotStarted,  // no child could be made
};

// Runs work in a child. The child resets the signals the parent catches, dies with the
// parent, cannot gain privileges, writes no file and dumps no core; its stderr goes
// nowhere. The parent's signal clean-up is untouched, and a Ctrl+C reaches the child
// through the terminal or through the parent's death.
ContainedOutcome RunContained(const std::function<std::string()>& work, const ContainedLimits& limits,
                              std::string* answer);
