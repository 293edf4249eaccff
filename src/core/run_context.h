// What one run works with: its state, its directory variables, the platform
// and the optional keys of the settings file, and the configuration that the
// run and the settings check both start from.
#ifndef QUILLET_CORE_RUN_CONTEXT_H_
#define QUILLET_CORE_RUN_CONTEXT_H_

#include <string>
#include <vector>

#include "config/dir_variables.h"
#include "config/settings.h"
#include "config/settings_schema.h"
#include "core/run_state.h"
#include "platform/errors.h"
#include "platform/platform.h"

namespace quillet {

// The optional keys of section Project that extend the settings file.
struct RunOptions {
  long long program_timeout_s = 0;    // 0: no limit.
  long long min_free_mb = 0;          // 0: no reserve.
  bool report = false;                // Report=true: the archive holds a report of the run.
  std::vector<std::string> warnings;  // Values that were ignored, for the status output.
};

// A run's state, its directory variables and the platform it works on.
struct RunContext {
  RunState state;
  DirVariables variables;
  Platform platform;
  std::string program_dir;   // Folder of the executable, without a trailing separator.
  std::string program_name;  // The executable's base name, without extension.
  bool interactive = true;   // Started without arguments: messages wait for OK.
};

// Sets program_dir and program_name from the executable's full path:
// D:\Tools\X.exe gives D:\Tools and X.
void SetProgramLocation(const std::string& program_path, RunContext* context);

// Fills the directory variables and the tags and locates the settings file:
// what the run and the settings check both start from.
Error Configure(RunContext& context);

// Reads the optional keys of section Project; invalid values count as absent
// and are named in `warnings`.
RunOptions ReadRunOptions(SettingsReader& reader, const std::string& ini_path);

// The list sections of `kind` that this PC reads, in the order the run reads
// them: one start list and one deletion list, and the log lists of the
// Windows generation and of the HMI edition.
std::vector<ListSection> ListSections(const RunContext& context, ListKind kind);

// The value of TargetPath as written, "" without one.
std::string ReadTargetPath(const RunContext& context);

// Gives in `*target` TargetPath as the run uses it: expanded once and
// written as the system writes paths. When the value cannot be expanded, or
// expands to nothing, `*target` is empty and the failure's sentence names
// the key and the file.
Error ExpandTargetPath(const RunContext& context, const std::string& value, std::string* target);

// Succeeds when the target folder exists or can be made (its parent exists);
// otherwise says why not, in words that follow "cannot be used: ".
Error CheckTargetFolder(Files& files, const std::string& target);

}  // namespace quillet

#endif  // QUILLET_CORE_RUN_CONTEXT_H_
