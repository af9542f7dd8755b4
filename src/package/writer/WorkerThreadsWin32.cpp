#include <process.h>
#include <windows.h>

#include "package/writer/WorkerThreads.h"

namespace {

// _beginthreadex rather than CreateThread: the C runtime sets up its own per-thread
// state (errno, the heap zlib allocates from) for the thread.
unsigned __stdcall Run(void* task) {
    (*static_cast<std::function<void()>*>(task))();
    return 0;
}

}  // namespace

uintptr_t WorkerThreads::StartThread(std::function<void()>* task) {
    return _beginthreadex(nullptr, 0, &Run, task, 0, nullptr);
}

void WorkerThreads::JoinThread(uintptr_t thread) noexcept {
    const HANDLE handle = reinterpret_cast<HANDLE>(thread);
    WaitForSingleObject(handle, INFINITE);
    CloseHandle(handle);
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
