// GoogleTest's customisation point, for the MinGW cross build. This MinGW
// runtime uses Win32 threads and has no std::mutex or std::condition_variable,
// which GoogleTest's Notification is built on; supply one made of a Win32
// event instead. Everything else in GoogleTest stays as shipped.
#ifndef NTAGENT_E2E_GTEST_CUSTOM_PORT_H_
#define NTAGENT_E2E_GTEST_CUSTOM_PORT_H_

#ifdef _WIN32
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
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
#endif  // _WIN32

#endif  // NTAGENT_E2E_GTEST_CUSTOM_PORT_H_
