#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include "package/writer/WorkerThreads.h"

namespace {

void* Run(void* task) {
    (*static_cast<std::function<void()>*>(task))();
    return nullptr;
}

}  // namespace

uintptr_t WorkerThreads::StartThread(std::function<void()>* task) {
    // A new thread inherits the mask of the thread that starts it. A fault stays
    // unblocked: blocked, it would end the process before any handler of it ran.
    sigset_t all, previous;
    sigfillset(&all);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS}) sigdelset(&all, fault);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    pthread_t thread;
    const bool started = pthread_create(&thread, nullptr, &Run, task) == 0;
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    // glibc's pthread_t is the address of the thread's block, never 0.
    return started ? static_cast<uintptr_t>(thread) : 0;
}

void WorkerThreads::JoinThread(uintptr_t thread) noexcept {
    pthread_join(static_cast<pthread_t>(thread), nullptr);
}

int32_t WorkerThreads::UsableProcessors() {
    // The affinity mask, not the machine's count: a container or taskset may allow fewer.
    cpu_set_t set;
    CPU_ZERO(&set);
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        const int count = CPU_COUNT(&set);
        if (count > 0) return count;
    }
    const long online = sysconf(_SC_NPROCESSORS_ONLN);
    return online > 0 ? static_cast<int32_t>(online) : 1;
}
