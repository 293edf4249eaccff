// The state of one run that the steps share, and the program's exit codes.
#ifndef QUILLET_CORE_RUN_STATE_H_
#define QUILLET_CORE_RUN_STATE_H_

#include <string>
#include <vector>

#include "platform/desktop.h"

namespace quillet {

inline constexpr int kWindowListSize = 1000;
inline constexpr int kTitleLength = 255;

// One titled top-level window of the inventory.
struct WindowRecord {
  std::string title;  // Upper case, padded with blanks to kTitleLength.
  WindowHandle handle = 0;
};

// The window inventory: entries 1 to count - 1 are the recorded windows in
// walk order; count is the number of the next free entry.
struct WindowList {
  std::vector<WindowRecord> entries = std::vector<WindowRecord>(kWindowListSize);
  int count = 1;
  const WindowRecord& Entry(int i) const { return entries[static_cast<std::size_t>(i - 1)]; }
};

// What the steps of one run share; it lives until the process ends.
struct RunState {
  std::string ini_path;      // The settings file beside the program.
  std::string target_path;   // Folder of the archives, expanded once when read.
  std::string archive_name;  // Bare file name of this run's archive.
  std::string os_tag;        // "XP" or "NT".
  std::string hmi_tag;       // "VW" or "VWS".
  WindowList window_list;    // The inventory and its WindowCount.
};

// Exit codes of the program. Callers that ignore them are unaffected.
enum ExitCode {
  kExitOk = 0,            // The run reached its end and the archive exists.
  kExitRunError = 1,      // An error ended the run.
  kExitNoTargetPath = 2,  // The settings file gives no TargetPath; nothing was done.
  kExitUsage = 2,         // A mistyped option was refused; nothing was done.
  kExitNoArchive = 3,     // The run ended but made no archive it could prove.
  kExitCheckFailed = 4,   // The settings check found a problem.
  kExitBusy = 5,          // Another run was going on; nothing was done.
};

}  // namespace quillet

#endif  // QUILLET_CORE_RUN_STATE_H_
