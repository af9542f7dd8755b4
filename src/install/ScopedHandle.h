// Owns one handle and closes it with Close when it goes; null means none.
// Copying is refused, moving hands the handle over.
#pragma once

#include <utility>

template <typename Handle, auto Close>
class ScopedHandle {
public:
    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : m_handle(handle) {}
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : m_handle(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~ScopedHandle() { reset(); }

    Handle get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Handle(); }
    Handle release() { return std::exchange(m_handle, Handle()); }
    void reset(Handle handle = Handle()) {
        if (m_handle != Handle()) Close(m_handle);
        m_handle = handle;
    }

private:
    Handle m_handle = Handle();
};
