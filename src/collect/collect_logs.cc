#include "collect/collect_logs.h"

#include <cctype>
#include <memory>

#include "config/settings.h"
#include "platform/wildcard.h"

namespace quillet {
namespace {

RunError Failure(std::error_code code, const std::string& what) {
  return RunError{code, what + ": " + code.message()};
}

constexpr std::uint64_t kMiB = 1024 * 1024;

// False when copying `source` would leave less than the run's free-space
// reserve on the staging folder's drive. Without a reserve nothing is
// checked; a size or free space that cannot be read lets the copy try.
bool LeavesReserve(RunContext& context, const std::string& source, const std::string& staging) {
  if (context.min_free_mb <= 0) return true;
  Files& files = *context.platform.files;
  std::uint64_t size = 0, free = 0;
  if (files.FileSize(source, &size) || files.FreeSpace(staging, &free)) return true;
  return free >= size && free - size >= static_cast<std::uint64_t>(context.min_free_mb) * kMiB;
}

// Copies one log into the staging folder. A log that its program holds open
// for writing is copied again through a reading handle that shares it.
std::error_code CopyLog(RunContext& context, const std::string& source, const std::string& staging,
                        const std::string& name) {
  if (!LeavesReserve(context, source, staging))
    return std::make_error_code(std::errc::no_space_on_device);
  Files& files = *context.platform.files;
  const std::string destination = staging + "\\" + name;
  std::error_code error = files.CopyFile(source, destination, true);
  if (error && files.IsInUse(error)) error = files.CopyOpenFile(source, destination);
  return error;
}

// The report's record of one list entry.
PatternRecord& NewRecord(std::vector<PatternRecord>* records, const std::string& section,
                         const std::string& value, const ExpandResult& pattern) {
  PatternRecord& record = records->emplace_back();
  record.section = section;
  record.value = value;
  record.pattern = pattern.error ? pattern.what : pattern.text;
  return record;
}

}  // namespace

std::string CopyKey(const std::string& path) {
  std::string key = path;
  for (char& c : key) {
    c = c == '/' ? '\\' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return key;
}

std::string JournalPath(const RunContext& context) { return context.program_dir + "\\test.log"; }

RunError CollectLogFiles(RunContext& context, const std::string& section) {
  Files& files = *context.platform.files;
  context.platform.window->SetLabel("Copying Logs " + section);
  const std::string staging = context.state.target_path + "\\Log";
  std::string found;
  if (files.DirFirst(staging, true, &found) || found.empty()) {
    if (std::error_code error = files.MakeDir(staging)) {
      return Failure(error, "Cannot create the staging folder " + staging);
    }
  }
  std::string value = ReadListEntry(*context.platform.settings, section, 1, context.state.ini_path);
  std::unique_ptr<TextFile> journal;
  if (std::error_code error = files.OpenText(JournalPath(context), OpenMode::kAppend, &journal)) {
    return Failure(error, "Cannot open the copy journal " + JournalPath(context));
  }
  // Journal lines are best effort: a journal that stops taking lines must
  // not stop the copying.
  for (int n = 1; !value.empty();) {
    const ExpandResult pattern = ExpandVariables(context.variables, value);
    PatternRecord& record = NewRecord(&context.report.log_patterns, section, value, pattern);
    std::string name;
    std::error_code error = pattern.error;
    if (!error) error = files.DirFirst(pattern.text, false, &name);
    if (error) {
      journal->AppendLine("Fehler:");
      record.failures.push_back({"", error == pattern.error ? pattern.what : error.message()});
      name.clear();
    }
    journal->AppendLine(name);
    while (!name.empty()) {
      ++record.matches;
      const std::string source = PathOfMatch(pattern.text, name);
      if (std::error_code copy_error = CopyLog(context, source, staging, name)) {
        journal->AppendLine("Fehler:" + name);
        context.failed_copies.insert(CopyKey(source));
        record.failures.push_back({source, copy_error.message()});
      }
      if (files.DirNext(&name)) name.clear();
    }
    value = ReadListEntry(*context.platform.settings, section, ++n, context.state.ini_path);
  }
  return {};
}

void DeleteListedFiles(RunContext& context, const std::string& section, bool delete_files) {
  Files& files = *context.platform.files;
  if (delete_files) context.platform.window->SetLabel("Deleting Logs");
  for (int n = 1;; ++n) {
    const std::string value =
        ReadListEntry(*context.platform.settings, section, n, context.state.ini_path);
    if (value.empty()) break;
    const ExpandResult pattern = ExpandVariables(context.variables, value);
    PatternRecord& record = NewRecord(&context.report.delete_patterns, section, value, pattern);
    std::string name;
    if (pattern.error) continue;
    if (std::error_code error = files.DirFirst(pattern.text, false, &name)) {
      record.failures.push_back({"", error.message()});
      continue;
    }
    while (!name.empty()) {
      ++record.matches;
      const std::string path = PathOfMatch(pattern.text, name);
      if (!delete_files) {
        // Only counting, for the report.
      } else if (context.failed_copies.count(CopyKey(path)) != 0) {
        // A log that could not be collected is in no archive: deleting it
        // would lose it.
        record.failures.push_back({path, "kept: it could not be collected"});
      } else if (!HasWildcards(name)) {
        // A name that holds wildcards (possible outside Windows) would
        // delete other files as well, so such a file is left alone.
        if (std::error_code error = files.KillFiles(path)) {
          record.failures.push_back({path, error.message()});
        }
      }
      if (files.DirNext(&name)) break;
    }
  }
}

RunError WriteTaskBatch(RunContext& context) {
  context.platform.window->SetLabel("Taskmanager");
  const ExpandResult path = ExpandVariables(context.variables, "$VisuDir$\\Task.bat");
  if (path.error) return RunError{path.error, path.what};
  std::unique_ptr<TextFile> batch;
  if (std::error_code error =
          context.platform.files->OpenText(path.text, OpenMode::kOutput, &batch)) {
    return Failure(error, "Cannot write the batch file " + path.text);
  }
  const ExpandResult line =
      ExpandVariables(context.variables, "$MorvaToolsDir$\\Quillet\\PStat" + context.state.os_tag +
                                             ".exe > $VisuDir$\\Task.log");
  if (line.error) return RunError{line.error, line.what};
  if (std::error_code error = batch->AppendLine(line.text)) {
    return Failure(error, "Cannot write the batch file " + path.text);
  }
  return {};
}

}  // namespace quillet
