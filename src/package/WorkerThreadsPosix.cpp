#include <sched.h>
#include <signal.h>

#include <system_error>
#include <thread>
#include <vector>

#include "package/WorkerThreads.h"

struct WorkerThreads::State {
    std::function<void()> task;
    std::vector<std::thread> threads;
};

WorkerThreads::WorkerThreads() : m_state(std::make_unique<State>()) {}

WorkerThreads::~WorkerThreads() {
    JoinAll();
}

int32_t WorkerThreads::Start(int32_t count, std::function<void()> task) {
    m_state->task = std::move(task);
    m_state->threads.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    // A new thread inherits the mask of the thread that starts it. A fault stays
    // unblocked: blocked, it would end the process before any handler of it ran.
    sigset_t all, previous;
    sigfillset(&all);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&all, fault);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    for (int32_t i = 0; i < count; ++i) {
        try {
            m_state->threads.emplace_back([this] { m_state->task(); });
        } catch (const std::system_error&) {
            break;
        }
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return static_cast<int32_t>(m_state->threads.size());
}

void WorkerThreads::JoinAll() noexcept {
    for (std::thread& thread : m_state->threads) {
        if (thread.joinable()) thread.join();
    }
    m_state->threads.clear();
}

int32_t WorkerThreads::UsableProcessors() {
    // The affinity mask, not the machine's count: a container or taskset may allow fewer.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    const unsigned hardware = std::thread::hardware_concurrency();
    return hardware > 0 ? static_cast<int32_t>(hardware) : 1;
}
