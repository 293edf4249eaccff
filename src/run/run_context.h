// The state of one run and what its steps work through.
#ifndef QUILLET_RUN_RUN_CONTEXT_H_
#define QUILLET_RUN_RUN_CONTEXT_H_

#include <set>
#include <string>
#include <system_error>
#include <vector>

#include "config/dir_variables.h"
#include "platform/platform.h"
#include "run/run_report.h"

namespace quillet {

inline constexpr int kWindowListSize = 1000;
inline constexpr int kTitleLength = 255;

// One titled top-level window of the inventory.
struct WindowRecord {
  std::string title;  // Upper case, padded with blanks to kTitleLength.
  WindowHandle handle = 0;
};

// What the steps of one run share; it lives until the process ends.
struct RunState {
  std::string ini_path;      // The settings file beside the program.
  std::string target_path;   // Folder of the archives, as read; never expanded.
  std::string archive_name;  // Bare file name of this run's archive.
  std::string os_tag;        // "XP" or "NT".
  std::string hmi_tag;       // "VW" or "VWS".
  // The next free entry of window_list, counted from 1; the recorded
  // windows are entries 1 to window_count - 1, that is window_list[0] to
  // window_list[window_count - 2].
  int window_count = 1;
  std::vector<WindowRecord> window_list = std::vector<WindowRecord>(kWindowListSize);
};

// A run's state, its directory variables and the platform it works on.
struct RunContext {
  RunState state;
  DirVariables variables;
  Platform platform;
  std::string program_dir;   // Folder of the executable, without a trailing separator.
  std::string program_name;  // The executable's base name, without extension.
  bool interactive = true;   // Started without arguments: messages wait for OK.
  // Optional keys of section Project; 0 means no limit and no reserve.
  long long program_timeout_s = 0;
  long long min_free_mb = 0;
  // Settings that were ignored, for the status output.
  std::vector<std::string> warnings;
  // Logs whose copy failed in this run, as CopyKey gives them: the deletion
  // list leaves them alone, since they are in no archive.
  std::set<std::string> failed_copies;
  // Report=true in section Project: the run writes its report into the archive.
  bool report_enabled = false;
  RunReport report;
};

// A path in a form that compares equal however its separators and letters
// were written.
std::string CopyKey(const std::string& path);

// An error that escapes a step and ends the run. Empty when the step went on.
struct RunError {
  std::error_code code;
  std::string what;  // A sentence for whoever reads the report.
  explicit operator bool() const { return static_cast<bool>(code); }
};

// Exit codes of the program. Callers that ignore them are unaffected.
enum ExitCode {
  kExitOk = 0,            // The run reached its end.
  kExitRunError = 1,      // An error ended the run.
  kExitNoTargetPath = 2,  // The settings file gives no TargetPath; nothing was done.
  kExitNoArchive = 3,     // The run ended but made no archive.
  kExitCheckFailed = 4,   // The settings check found a problem.
};

}  // namespace quillet

#endif  // QUILLET_RUN_RUN_CONTEXT_H_
