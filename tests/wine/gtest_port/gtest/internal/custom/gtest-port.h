// GoogleTest's hook for platform adjustments, found before the empty one that
// GoogleTest ships. The release toolchain's C++ library (MinGW-w64's win32
// threads model) has no std::mutex or std::condition_variable, with which
// GoogleTest builds the one class below; this one waits on a Win32 event.
#ifndef QUILLET_TESTS_WINE_GTEST_PORT_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
#define QUILLET_TESTS_WINE_GTEST_PORT_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing::internal {

// Holds back the threads GoogleTest starts until their starter calls Notify().
class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* event_;  // A manual-reset event; <windows.h> stays out of every test.
};

}  // namespace testing::internal

#endif  // QUILLET_TESTS_WINE_GTEST_PORT_GTEST_INTERNAL_CUSTOM_GTEST_PORT_H_
