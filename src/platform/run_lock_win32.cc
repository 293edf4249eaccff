// Windows backend of the run lock: a mutex in the global namespace, so that
// runs in every session of the computer see it. Windows hands an abandoned
// mutex to the next waiter, so a crashed run never blocks the next one.
#include "platform/platform.h"
#include "platform/run_lock.h"
#include "platform/win32.h"

namespace quillet {
namespace {

constexpr char kMutexName[] = "Global\\QuilletCollection";

class Win32RunLock : public RunLock {
 public:
  ~Win32RunLock() override {
    if (mutex_ != nullptr) CloseHandle(mutex_);
  }

  LockResult Take(std::error_code* error) override {
    mutex_ = CreateMutexA(nullptr, FALSE, kMutexName);
    if (mutex_ == nullptr) {
      *error = LastWin32Error();
      return LockResult::kUnavailable;
    }
    switch (WaitForSingleObject(mutex_, 0)) {
      case WAIT_OBJECT_0:
      case WAIT_ABANDONED:
        return LockResult::kTaken;
      case WAIT_TIMEOUT:
        return LockResult::kHeld;
      default:
        *error = LastWin32Error();
        return LockResult::kUnavailable;
    }
  }

 private:
  HANDLE mutex_ = nullptr;
};

}  // namespace

std::unique_ptr<RunLock> CreateRunLock() { return std::make_unique<Win32RunLock>(); }

}  // namespace quillet
