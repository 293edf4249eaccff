// POSIX backend of the run lock: an flock on a file in the system's
// temporary folder. The kernel drops the lock with the process's last
// descriptor, so a crashed run leaves no lock behind.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "platform/run_lock.h"

namespace quillet {
namespace {

class PosixRunLock : public RunLock {
 public:
  ~PosixRunLock() override {
    if (fd_ >= 0) close(fd_);
  }

  LockResult Take(std::error_code* error) override {
    const char* tmp = std::getenv("TMPDIR");
    const std::string path =
        std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/quillet.lock";
    // Opening an existing lock without O_CREAT works also where another user
    // made it in a folder that protects files of others from O_CREAT.
    fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) fd_ = open(path.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0) {
      *error = std::error_code(errno, std::generic_category());
      return LockResult::kUnavailable;
    }
    if (flock(fd_, LOCK_EX | LOCK_NB) == 0) return LockResult::kTaken;
    if (errno == EWOULDBLOCK) return LockResult::kHeld;
    *error = std::error_code(errno, std::generic_category());
    return LockResult::kUnavailable;
  }

 private:
  int fd_ = -1;
};

}  // namespace

std::unique_ptr<RunLock> CreateRunLock() { return std::make_unique<PosixRunLock>(); }

}  // namespace quillet
