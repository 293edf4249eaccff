#include "run/run_collection.h"

#include <algorithm>
#include <functional>
#include <string>

#include "archive/pack_logs.h"
#include "archive/prepare_target.h"
#include "collect/capture_screen.h"
#include "collect/collect_logs.h"
#include "collect/delete_listed.h"
#include "collect/start_programs.h"
#include "collect/task_batch.h"
#include "config/settings.h"
#include "core/journal.h"
#include "core/staging.h"
#include "run/closing.h"
#include "run/report_json.h"
#include "run/stage_report.h"
#include "windows/debug_window.h"
#include "windows/window_list.h"

namespace quillet {
namespace {

// How long a warning about the settings stays in the status window.
constexpr int kWarningMs = 1500;

// Without a target folder every path of the run would start at the root of
// the current drive, so the run does nothing at all and says what to fix.
int EndWithoutTarget(RunContext& context) {
  FileInfo info;
  const bool have_file = !context.platform.files->Stat(context.state.ini_path, &info);
  const std::string key = std::string(kTargetPathKey.name);
  const std::string section = std::string("[") + kProjectSection + "]";
  return EndWith(
      context,
      "The settings file " + context.state.ini_path +
          (have_file
               ? " has no value for the key " + key + " in section " + section + "."
               : " does not exist, so the key " + key + " of section " + section + " is missing.") +
          " Nothing was collected.",
      kExitNoTargetPath);
}

// Runs one step and records its status and duration for the report.
Error RunAndRecordStep(RunContext& context, RunReport& report, const std::string& name,
                       const std::function<Error()>& step) {
  Clock& clock = *context.platform.clock;
  const long long start = clock.Milliseconds();
  Error error = step();
  report.steps.push_back({name, error ? "failed" : "done", clock.Milliseconds() - start});
  return error;
}

// A step that went on past a failure did not do all its work: its status
// says so, so that it agrees with the results the report holds for it.
void FailLastStepIf(bool failed, RunReport* report) {
  if (failed) report->steps.back().status = "failed";
}

// Configures the run, takes the lock that keeps runs apart and settles the
// target folder. kExitOk when the run may go on; otherwise the run has said
// why it ends and the exit code is returned.
int BeginRun(RunContext& context) {
  Platform& platform = context.platform;
  RunState& state = context.state;
  if (Error error = Configure(context)) return EndWith(context, error.what, kExitRunError);
  std::error_code lock_error;
  if (platform.lock->Take(&lock_error) == LockResult::kHeld) {
    return EndWith(context,
                   (lock_error ? "The lock that keeps Quillet collections apart exists but cannot "
                                 "be opened (" +
                                     lock_error.message() +
                                     "), so another user's collection may be running on this "
                                     "computer."
                               : std::string("Another Quillet collection is running on this "
                                             "computer.")) +
                       " Nothing was done; start Quillet again when it has ended.",
                   kExitBusy);
  }
  const std::string target_value = ReadTargetPath(context);
  if (target_value.empty()) return EndWithoutTarget(context);
  if (Error error = ExpandTargetPath(context, target_value, &state.target_path)) {
    return EndWith(context, error.what, kExitRunError);
  }
  if (Error error = CheckTargetFolder(*platform.files, state.target_path)) {
    return EndWith(context,
                   "The target folder " + state.target_path + " (key " + kTargetPathKey.name +
                       " in section [" + kProjectSection + "] of the settings file " +
                       state.ini_path + ") cannot be used: " + error.what +
                       ". Nothing was collected.",
                   kExitRunError);
  }
  return kExitOk;
}

}  // namespace

int RunCollection(RunContext& context) {
  Platform& platform = context.platform;
  RunState& state = context.state;
  if (const int code = BeginRun(context); code != kExitOk) return code;
  const RunOptions options = ReadRunOptions(*platform.settings, state.ini_path);
  RunReport report;
  const LocalTime start = platform.clock->Now();
  report.start_time = FormatTime(start);
  report.start_utc_offset = FormatUtcOffset(start);

  RunAndRecordStep(context, report, "PrepareTarget", [&] {
    state.archive_name = PrepareTarget(platform, state.target_path);
    return Error();
  });
  Staging staging(*platform.files, state.target_path);
  staging.NoteLeftovers();
  // The screenshot comes before the status window shows, so it is not in it.
  RunAndRecordStep(context, report, "CaptureScreen", [&] {
    const ScreenSource source = CaptureScreen(platform, staging, &report.screenshot_name);
    report.screenshot = ScreenSourceName(source);
    if (source == ScreenSource::kNone) report.screenshot_name.clear();
    return Error();
  });
  FailLastStepIf(report.screenshot == "none", &report);
  platform.window->Show();
  for (const std::string& warning : options.warnings) {
    platform.window->SetLabel(warning);
    platform.clock->Sleep(kWarningMs);
  }
  if (Error error = RunAndRecordStep(context, report, "WriteTaskBatch", [&] {
        return WriteTaskBatch(platform, context.variables, state.os_tag);
      })) {
    return EndWith(context, error.what, kExitRunError);
  }
  RunAndRecordStep(context, report, "RunStartPrograms", [&] {
    report.programs =
        RunStartPrograms(platform, ListSections(context, ListKind::kStartPrograms).front(),
                         context.variables, options.program_timeout_s);
    return Error();
  });
  FailLastStepIf(std::any_of(report.programs.begin(), report.programs.end(),
                             [](const ProgramRecord& program) {
                               return !program.started || program.timed_out;
                             }),
                 &report);
  RunAndRecordStep(context, report, "ReadWindowList", [&] {
    state.window_list = ReadWindowList(platform);
    return Error();
  });
  RunAndRecordStep(context, report, "SaveDebugWindow", [&] {
    report.debug_window = SaveDebugWindow(platform, state.window_list);
    return Error();
  });
  FailLastStepIf(!report.debug_window.second_click_sent, &report);
  Journal journal(*platform.files, platform.files->Join(context.program_dir, "test.log"));
  CollectOutcome collected;
  for (const ListSection& logs : ListSections(context, ListKind::kLogFiles)) {
    if (Error error = RunAndRecordStep(context, report, "CollectLogFiles " + logs.section, [&] {
          return CollectLogFiles(platform, logs, context.variables, staging, journal,
                                 options.min_free_mb, &collected);
        })) {
      return EndWith(context, error.what, kExitRunError);
    }
    FailLastStepIf(std::any_of(collected.patterns.begin(), collected.patterns.end(),
                               [&](const PatternRecord& pattern) {
                                 return pattern.section == logs.section &&
                                        !pattern.failures.empty();
                               }),
                   &report);
  }
  report.log_patterns = collected.patterns;
  report.staged = collected.staged;
  const ListSection deletions = ListSections(context, ListKind::kDeleteFiles).front();
  report.min_free_mb = options.min_free_mb;
  if (options.report) StageReport(context, report, staging, journal, deletions, collected);
  // A run that nobody watches must never wait for someone to press OK.
  const RotationWarning warn = [&](const std::string& text) {
    if (context.interactive) {
      platform.window->MessageBox(text);
      return;
    }
    platform.window->ReportError(text, false);
    journal.Open();
    journal.Write(text);
    journal.Close();
  };
  const PackOutcome packed =
      PackLogs(platform, context.variables, staging, journal, state.target_path, state.archive_name,
               options.program_timeout_s, warn);
  // Deleting logs that the archive does not hold would lose them.
  if (packed.archived) {
    DeleteListedFiles(platform, deletions, context.variables, collected, packed.entries, journal);
  }

  return CloseRun(context, packed, staging);
}

}  // namespace quillet
