#include <errno.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "platform/priority.h"

namespace quillet {
namespace {

// The nice value of a background job: well below the programs at the
// default of 0, yet still ahead of those that asked for the very least.
constexpr int kBackgroundNice = 10;

// The kernel's I/O priority interface, which the C library does not wrap.
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioClassShift = 13;
constexpr int kIoprioClassIdle = 3;

}  // namespace

void LowerOwnPriority() {
  // Linux keeps the nice value per thread, and setpriority(PRIO_PROCESS, 0)
  // changes the calling one; every thread made later starts with its value.
  errno = 0;
  const int current = getpriority(PRIO_PROCESS, 0);
  if (errno == 0 && current < kBackgroundNice) setpriority(PRIO_PROCESS, 0, kBackgroundNice);
#ifdef SYS_ioprio_set
  // The idle class gets the disk only when no other program wants it.
  syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, kIoprioClassIdle << kIoprioClassShift);
#endif
}

}  // namespace quillet
