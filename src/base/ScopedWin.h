// The small Win32 guards, in one place: a handle, a registry key, a critical section
// held for a scope, and this thread's COM apartment. Each refuses copying; only the
// handle can be moved. Windows code only.
#pragma once

#include <windows.h>
// With WIN32_LEAN_AND_MEAN, <windows.h> leaves COM out.
#include <objbase.h>

#include <utility>

// Owns one handle and closes it with Close when it goes; Handle() means none.
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

// Kernel objects whose failure value is null (threads, processes, events), not files.
using KernelHandle = ScopedHandle<HANDLE, ::CloseHandle>;
using RegistryKey = ScopedHandle<HKEY, ::RegCloseKey>;

// Opens path under root for reading, in the process's own registry view. An empty key
// when it does not open; *error, when given, receives the registry's answer.
inline RegistryKey OpenRegistryKey(HKEY root, const wchar_t* path, LONG* error = nullptr) {
    HKEY key = nullptr;
    const LONG result = RegOpenKeyExW(root, path, 0, KEY_READ, &key);
    if (error != nullptr) *error = result;
    return result == ERROR_SUCCESS ? RegistryKey(key) : RegistryKey();
}

// Holds a critical section from construction to destruction.
class CriticalSectionLock {
public:
    explicit CriticalSectionLock(CRITICAL_SECTION& section) : m_section(section) {
        EnterCriticalSection(&m_section);
    }
    ~CriticalSectionLock() { LeaveCriticalSection(&m_section); }
    CriticalSectionLock(const CriticalSectionLock&) = delete;
    CriticalSectionLock& operator=(const CriticalSectionLock&) = delete;

private:
    CRITICAL_SECTION& m_section;
};

// This thread in a single-threaded COM apartment for the guard's life. Whether joining
// worked is not examined, and the matching uninitialisation runs in any case.
class ScopedCom {
public:
    ScopedCom() { CoInitialize(nullptr); }
    ~ScopedCom() { CoUninitialize(); }
    ScopedCom(const ScopedCom&) = delete;
    ScopedCom& operator=(const ScopedCom&) = delete;
};
