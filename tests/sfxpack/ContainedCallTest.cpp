// Work run in a contained child: an answer comes back whole; a crash, a silent exit, a
// throw, a hang and a memory hog each come back as an outcome, never as the end of
// the caller, and the hang is cut at its time limit.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <string>

#include "tools/sfxpack/formats/ContainedCall.h"

namespace {

struct Row {
    const char* what;
    std::string (*work)();
    ContainedOutcome expected;
};

std::string Answers() {
    return std::string(100000, 'x') + std::string(1, '\0') + "end";
}
std::string Crashes() {
    raise(SIGSEGV);
    return "unreachable";
}
std::string ExitsSilently() {
    _exit(5);
}
std::string Throws() {
    throw std::runtime_error("thrown");
}
std::string Hangs() {
    for (;;) pause();
}
std::string EatsMemory() {
    // Touches every page, so a lazy allocation cannot pass for a small one.
    const size_t size = size_t{2} << 30;
    char* block = static_cast<char*>(std::malloc(size));
    if (block == nullptr) abort();
    for (size_t i = 0; i < size; i += 4096) block[i] = 1;
    return "allocated";
}

}  // namespace

TEST(ContainedCall, EveryEndOfTheWorkIsAnOutcome) {
    const Row rows[] = {
        {"answers", &Answers, ContainedOutcome::kAnswered},
        {"crashes", &Crashes, ContainedOutcome::kCrashed},
        {"exits without an answer", &ExitsSilently, ContainedOutcome::kCrashed},
        {"throws", &Throws, ContainedOutcome::kCrashed},
        {"hangs", &Hangs, ContainedOutcome::kTimedOut},
        {"eats memory", &EatsMemory, ContainedOutcome::kCrashed},
    };
    ContainedLimits limits;
    limits.seconds = 2;
    limits.megabytes = 256;
    for (const Row& row : rows) {
        if (row.work == &EatsMemory && !kContainedMemoryLimited) continue;
        SCOPED_TRACE(row.what);
        std::string answer = "stale";
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunContained(row.work, limits, &answer), row.expected);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_EQ(answer, row.expected == ContainedOutcome::kAnswered ? Answers() : std::string());
    }
}
