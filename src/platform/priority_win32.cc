#include "platform/priority.h"
#include "platform/win32.h"

// Declared only for Windows Vista and later; as a flag value it is safe to
// pass to any version, which refuses what it does not know.
#ifndef PROCESS_MODE_BACKGROUND_BEGIN
#define PROCESS_MODE_BACKGROUND_BEGIN 0x00100000
#endif

namespace quillet {

void LowerOwnPriority() {
  const HANDLE self = GetCurrentProcess();
  SetPriorityClass(self, BELOW_NORMAL_PRIORITY_CLASS);
  // Windows Vista and later also lower the process's disk and memory
  // priority in background mode. Windows XP does not know the flag and
  // refuses it, which leaves the processor priority set above.
  SetPriorityClass(self, PROCESS_MODE_BACKGROUND_BEGIN);
}

}  // namespace quillet
