// The platform gives the lock and the condition: POSIX threads' mutex and condition
// variable, or the Windows build's slim lock and condition variable (its compiler's
// thread model has no std::mutex).
#include "package/writer/Monitor.h"

#ifdef _WIN32
#include <windows.h>

struct Monitor::State {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;

    void Acquire() { AcquireSRWLockExclusive(&lock); }
    void Release() { ReleaseSRWLockExclusive(&lock); }
    void Sleep() { SleepConditionVariableSRW(&condition, &lock, INFINITE, 0); }
    void Wake() { WakeAllConditionVariable(&condition); }
};
#else
#include <pthread.h>

struct Monitor::State {
    pthread_mutex_t lock = PTHREAD_MUTEX_INITIALIZER;
    pthread_cond_t condition = PTHREAD_COND_INITIALIZER;

    ~State() {
        pthread_cond_destroy(&condition);
        pthread_mutex_destroy(&lock);
    }
    void Acquire() { pthread_mutex_lock(&lock); }
    void Release() { pthread_mutex_unlock(&lock); }
    void Sleep() { pthread_cond_wait(&condition, &lock); }
    void Wake() { pthread_cond_broadcast(&condition); }
};
#endif

Monitor::Monitor() : m_state(std::make_unique<State>()) {}

Monitor::~Monitor() = default;

Monitor::Lock::Lock(Monitor& monitor) : m_monitor(monitor) {
    m_monitor.m_state->Acquire();
}

Monitor::Lock::~Lock() {
    m_monitor.m_state->Release();
}

void Monitor::Lock::Wait() {
    m_monitor.m_state->Sleep();
}

void Monitor::WakeAll() {
    m_state->Wake();
}
