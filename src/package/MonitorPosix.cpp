#include <condition_variable>
#include <mutex>

#include "package/Monitor.h"

struct Monitor::State {
    std::mutex mutex;
    std::condition_variable condition;
};

Monitor::Monitor() : m_state(std::make_unique<State>()) {}

Monitor::~Monitor() = default;

Monitor::Lock::Lock(Monitor& monitor) : m_monitor(monitor) {
    m_monitor.m_state->mutex.lock();
}

Monitor::Lock::~Lock() {
    m_monitor.m_state->mutex.unlock();
}

void Monitor::Lock::Wait() {
    // The lock stays this object's: the unique_lock only lends it to the wait.
    std::unique_lock<std::mutex> lent(m_monitor.m_state->mutex, std::adopt_lock);
    m_monitor.m_state->condition.wait(lent);
    lent.release();
}

void Monitor::WakeAll() {
    m_state->condition.notify_all();
}
