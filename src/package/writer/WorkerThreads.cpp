#include "package/writer/WorkerThreads.h"

WorkerThreads::~WorkerThreads() {
    JoinAll();
}

int32_t WorkerThreads::Start(int32_t count, std::function<void()> task) {
    m_task = std::move(task);
    // Room first: a thread once started is always kept, to be joined.
    m_threads.reserve(count > 0 ? static_cast<size_t>(count) : 0);
    for (int32_t i = 0; i < count; ++i) {
        const uintptr_t thread = StartThread(&m_task);
        if (thread == 0) break;
        m_threads.push_back(thread);
    }
    return static_cast<int32_t>(m_threads.size());
}

void WorkerThreads::JoinAll() noexcept {
    for (uintptr_t thread : m_threads) JoinThread(thread);
    m_threads.clear();
}
