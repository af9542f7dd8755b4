// Threads that all run one task and are joined when the object goes. On POSIX they
// start with every signal but the faults blocked, so an interrupt always reaches a
// thread that did not block it (the one that started them), where the packer's
// clean-up holds it back around its critical steps. What a thread is comes from the
// platform (WorkerThreadsPosix.cpp: pthreads; WorkerThreadsWin32.cpp: the C runtime's
// threads, since the Windows compiler's thread model has no std::thread); the rest is
// one skeleton (WorkerThreads.cpp).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

class WorkerThreads {
public:
    WorkerThreads() = default;
    WorkerThreads(const WorkerThreads&) = delete;
    WorkerThreads& operator=(const WorkerThreads&) = delete;
    ~WorkerThreads();  // joins

    // Starts count threads that each run task, which must not throw; answers how
    // many started, fewer when the system refuses one. Call once.
    int32_t Start(int32_t count, std::function<void()> task);
    // Waits until every thread has returned.
    void JoinAll() noexcept;

    // The processors this process may run on (at least 1).
    static int32_t UsableProcessors();

private:
    // The platform's part: a thread that runs *task, or 0 when the system refuses
    // one; and the wait for its end, which also lets its handle go.
    static uintptr_t StartThread(std::function<void()>* task);
    static void JoinThread(uintptr_t thread) noexcept;

    std::function<void()> m_task;
    std::vector<uintptr_t> m_threads;
};
