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
    // An empty access list (a null DACL, which Windows XP knows as well)
    // lets every user's process open the mutex and wait on it; with the
    // default one, a mutex made by one user would be closed to another,
    // whose run would then not see it.
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &descriptor, FALSE};
    const bool open_to_all =
        InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE);
    mutex_ = CreateMutexA(open_to_all ? &attributes : nullptr, FALSE, kMutexName);
    if (mutex_ == nullptr) {
      const DWORD code = GetLastError();
      *error = Win32Error(code);
      // A mutex that exists but is closed to this user may be held by a run
      // of another user: running on could spoil that run.
      return code == ERROR_ACCESS_DENIED ? LockResult::kHeld : LockResult::kUnavailable;
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
