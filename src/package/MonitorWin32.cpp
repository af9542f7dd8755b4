#include <windows.h>

#include "package/Monitor.h"

struct Monitor::State {
    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE condition = CONDITION_VARIABLE_INIT;
};

Monitor::Monitor() : m_state(std::make_unique<State>()) {}

Monitor::~Monitor() = default;

Monitor::Lock::Lock(Monitor& monitor) : m_monitor(monitor) {
    AcquireSRWLockExclusive(&m_monitor.m_state->lock);
}

Monitor::Lock::~Lock() {
    ReleaseSRWLockExclusive(&m_monitor.m_state->lock);
}

void Monitor::Lock::Wait() {
    SleepConditionVariableSRW(&m_monitor.m_state->condition, &m_monitor.m_state->lock, INFINITE, 0);
}

void Monitor::WakeAll() {
    WakeAllConditionVariable(&m_state->condition);
}
