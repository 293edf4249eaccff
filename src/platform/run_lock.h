// The lock that keeps two collections on one computer from running at once.
#ifndef QUILLET_PLATFORM_RUN_LOCK_H_
#define QUILLET_PLATFORM_RUN_LOCK_H_

#include <system_error>

namespace quillet {

enum class LockResult {
  kTaken,  // This process holds the lock until it ends.
  // Another process holds it now; or the lock exists but this process may
  // not open it (see the error), which counts as held, since whoever made it
  // may be running.
  kHeld,
  kUnavailable,  // No lock could be made; see the error.
};

// One lock per computer, which every user's process can open. It is given
// back when its process ends, however it ends, so a run that crashed never
// blocks the next one.
class RunLock {
 public:
  virtual ~RunLock() = default;
  virtual LockResult Take(std::error_code* error) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_RUN_LOCK_H_
