// Threads that all run one task and are joined when the object goes. On POSIX they
// start with every signal but the faults blocked, so an interrupt always reaches a
// thread that did not block it (the one that started them), where the packer's
// clean-up holds it back around its critical steps. The host build uses std::thread; the Windows build
// the C runtime's threads, since its compiler's thread model has no std::thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

class WorkerThreads {
public:
    WorkerThreads();
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
    struct State;
    std::unique_ptr<State> m_state;
};
