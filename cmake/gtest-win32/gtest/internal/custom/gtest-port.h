// GoogleTest port settings for our mingw build. The compilers use the win32 thread
// model, so the shipped stub carries no pthread emulation; that model has no
// std::mutex, which GoogleTest's Notification wants, so it gets a Win32 event instead.
#ifndef SFX_GTEST_CUSTOM_PORT_H_
#define SFX_GTEST_CUSTOM_PORT_H_

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing

#endif  // SFX_GTEST_CUSTOM_PORT_H_
