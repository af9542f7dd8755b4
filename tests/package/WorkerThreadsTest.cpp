// The encoder's threads: every one runs and has ended when JoinAll returns, and on
// POSIX an interrupt can only reach the thread that started them.
#include <gtest/gtest.h>

#include <atomic>

#include "package/writer/WorkerThreads.h"

#ifndef _WIN32
#include <signal.h>
#endif

namespace {

TEST(WorkerThreads, EveryThreadRunsAndOnlyTheStarterTakesInterrupts) {
    std::atomic<int> ran{0};
    std::atomic<int> interruptible{0};
    std::atomic<int> faultsBlocked{0};
    WorkerThreads threads;
    ASSERT_EQ(threads.Start(5,
                            [&] {
#ifndef _WIN32
                                sigset_t mask;
                                pthread_sigmask(SIG_BLOCK, nullptr, &mask);
                                for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
                                    interruptible += !sigismember(&mask, signal);
                                }
                                faultsBlocked += sigismember(&mask, SIGSEGV) + sigismember(&mask, SIGBUS);
#endif
                                ++ran;
                            }),
              5);
    threads.JoinAll();
    EXPECT_EQ(ran, 5);
    EXPECT_EQ(interruptible, 0);
    EXPECT_EQ(faultsBlocked, 0);
#ifndef _WIN32
    sigset_t mine;
    pthread_sigmask(SIG_BLOCK, nullptr, &mine);
    EXPECT_FALSE(sigismember(&mine, SIGINT)) << "the starting thread's mask must come back as it was";
#endif
}

}  // namespace
