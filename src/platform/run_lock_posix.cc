// POSIX backend of the run lock: an flock on a file in the system's
// temporary folder. The kernel drops the lock with the process's last
// descriptor, so a crashed run leaves no lock behind.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
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
    // made it in a folder that protects files of others from O_CREAT. A lock
    // made now is opened to every user whatever the umask says, so that
    // another user's run meets it too.
    bool exists = true;
    for (int tries = 0; fd_ < 0 && tries < 2; ++tries) {
      fd_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
      exists = fd_ >= 0 || errno != ENOENT;
      if (exists) break;
      fd_ = open(path.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0) fchmod(fd_, 0666);
      if (fd_ < 0 && errno != EEXIST) break;
      exists = fd_ < 0;  // Made meanwhile by another run, or by this one now.
    }
    if (fd_ < 0) {
      *error = std::error_code(errno, std::generic_category());
      // A lock that is there but cannot be opened may well be held by a run
      // of another user: running on could spoil that run.
      return exists ? LockResult::kHeld : LockResult::kUnavailable;
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
