#include <process.h>
#include <windows.h>

#include <vector>

#include "package/WorkerThreads.h"

struct WorkerThreads::State {
    std::function<void()> task;
    std::vector<HANDLE> threads;

    // _beginthreadex rather than CreateThread: the C runtime sets up its own
    // per-thread state (errno, the heap zlib allocates from) for the thread.
    static unsigned __stdcall Run(void* state) {
        static_cast<State*>(state)->task();
        return 0;
    }
};

WorkerThreads::WorkerThreads() : m_state(std::make_unique<State>()) {}

WorkerThreads::~WorkerThreads() {
    JoinAll();
}

int32_t WorkerThreads::Start(int32_t count, std::function<void()> task) {
    m_state->task = std::move(task);
    m_state->threads.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (int32_t i = 0; i < count; ++i) {
        const uintptr_t thread = _beginthreadex(nullptr, 0, &State::Run, m_state.get(), 0, nullptr);
        if (thread == 0) break;
        m_state->threads.push_back(reinterpret_cast<HANDLE>(thread));
    }
    return static_cast<int32_t>(m_state->threads.size());
}

void WorkerThreads::JoinAll() noexcept {
    for (HANDLE thread : m_state->threads) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    m_state->threads.clear();
}

int32_t WorkerThreads::UsableProcessors() {
    // The affinity mask, not the machine's count: a job or start /affinity may allow fewer.
    DWORD_PTR process = 0;
    DWORD_PTR system = 0;
    if (GetProcessAffinityMask(GetCurrentProcess(), &process, &system) && process != 0) {
        int32_t count = 0;
        for (; process != 0; process &= process - 1) ++count;
        return count;
    }
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int32_t>(info.dwNumberOfProcessors) : 1;
}
