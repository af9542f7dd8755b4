// One lock and one condition to wait on, for the few threads of the packer's
// encoder; the platform gives the two (Monitor.cpp).
#pragma once

#include <memory>

class Monitor {
public:
    Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;
    ~Monitor();

    // Holds the monitor's lock while it lives.
    class Lock {
    public:
        explicit Lock(Monitor& monitor);
        Lock(const Lock&) = delete;
        Lock& operator=(const Lock&) = delete;
        ~Lock();
        // Lets the lock go until another thread calls WakeAll (or the system wakes
        // this one for nothing), then takes it again: wait in a loop on the state.
        void Wait();

    private:
        Monitor& m_monitor;
    };

    void WakeAll();

private:
    struct State;
    std::unique_ptr<State> m_state;
};
