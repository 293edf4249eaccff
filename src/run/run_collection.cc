#include "run/run_collection.h"

#include <functional>
#include <iostream>
#include <memory>

#include "archive/pack_logs.h"
#include "archive/prepare_target.h"
#include "collect/capture_screen.h"
#include "collect/collect_logs.h"
#include "collect/delete_listed.h"
#include "collect/start_programs.h"
#include "collect/task_batch.h"
#include "config/platform_tags.h"
#include "config/settings.h"
#include "core/journal.h"
#include "core/staging.h"
#include "platform/rounding.h"
#include "platform/text.h"
#include "run/report_json.h"
#include "run/settings_check.h"
#include "windows/debug_window.h"
#include "windows/window_list.h"
#include "zip/zip_reader.h"

namespace quillet {
namespace {

// The closing placement converts the window's size from twips at exactly 15
// twips per pixel, whatever the display's real density.
constexpr double kTwipsPerPixel = 15.0;
// How long a warning about the settings stays in the status window.
constexpr int kWarningMs = 1500;
// The files a run with Report=true adds to its archive.
constexpr char kReportName[] = "Quillet-Report.json";
constexpr char kSettingsCopyName[] = "Quillet-Settings.ini";
constexpr char kJournalCopyName[] = "Quillet-Journal.txt";

constexpr char kHelp[] =
    "Quillet collects the diagnostic material of this PC into one dated zip archive\n"
    "and quits. A run takes a screenshot, runs the programs of the settings file,\n"
    "saves the HMI's debug window, copies the listed log files, packs them and\n"
    "checks the archive. Only then do the archives of earlier runs in the target\n"
    "folder move up a slot (1-...Zip newest to 9-...Zip oldest) and are the files of\n"
    "the deletion list deleted that the archive holds.\n"
    "\n"
    "Usage: quillet [option | argument]\n"
    "  (none)       a run that ends with the message \"File saved in ...\"\n"
    "  --check      show what a run would read, run, collect and delete, and the\n"
    "               problems of the settings file; changes nothing\n"
    "  --version    show the version\n"
    "  --help, -h, -?, /?   show this text\n"
    "  any other argument   an unattended run: no message waits for OK (for\n"
    "               schedulers and other programs, e.g. \"quillet auto\")\n"
    "\n"
    "Settings: the file beside the program, named after it (quillet.exe reads\n"
    "quillet.ini). Section [Project] names the TargetPath.\n"
    "\n"
    "Exit codes: 0 the archive was made and checked; 1 an error ended the run;\n"
    "2 no settings file or no TargetPath; 3 no archive was made, the collected\n"
    "files stay in TargetPath\\Log and nothing was deleted; 4 --check found a\n"
    "problem; 5 another run was going on, nothing was done.\n";

// Reports an error that ends the run: a message box for someone at the
// screen, standard error for a calling program, which must never be left
// waiting on a dialog.
int EndWith(RunContext& context, const std::string& what, int code) {
  context.platform.window->ReportError(what, context.interactive);
  return code;
}

// Without a target folder every path of the run would start at the root of
// the current drive, so the run does nothing at all and says what to fix.
int EndWithoutTarget(RunContext& context) {
  FileInfo info;
  const bool have_file = !context.platform.files->Stat(context.state.ini_path, &info);
  return EndWith(context,
                 "The settings file " + context.state.ini_path +
                     (have_file ? " has no value for the key TargetPath in section [Project]."
                                : " does not exist, so the key TargetPath of section [Project] "
                                  "is missing.") +
                     " Nothing was collected.",
                 kExitNoTargetPath);
}

// True when `path` names an existing folder. A drive ("D:") and a share
// ("\\server\share") are asked for with a trailing separator.
bool FolderExists(Files& files, const std::string& path) {
  FileInfo info;
  if (!files.Stat(path, &info)) return info.folder;
  return !path.empty() && !files.Stat(path + files.Separator(), &info) && info.folder;
}

}  // namespace

std::string TargetProblem(Files& files, const std::string& target) {
  FileInfo info;
  if (!files.Stat(target, &info)) return info.folder ? "" : "it is a file, not a folder";
  const std::size_t cut = target.find_last_of("\\/");
  const std::string parent = cut == std::string::npos ? "" : target.substr(0, cut);
  if (parent.empty() || FolderExists(files, parent)) return "";
  return "neither the folder nor its parent " + parent + " exists";
}

namespace {

// Runs one step and records its status and duration for the report.
RunError Timed(RunContext& context, RunReport& report, const std::string& name,
               const std::function<RunError()>& step) {
  Clock& clock = *context.platform.clock;
  const long long start = clock.Milliseconds();
  RunError error = step();
  report.steps.push_back({name, error ? "failed" : "done", clock.Milliseconds() - start});
  return error;
}

// The files an earlier run left in the staging folder, for the report.
void AddLeftovers(Files& files, const Staging& staging, RunReport* report) {
  for (const std::string& name : staging.Leftovers()) {
    StagedFile record;
    record.name = name;
    record.earlier_run = true;
    FileInfo info;
    std::unique_ptr<InputFile> file;
    if (!files.Stat(staging.PathOf(name), &info)) record.modified = info.modified;
    if (!files.OpenRead(staging.PathOf(name), &file)) FileDigest(*file, &record.size, &record.crc);
    report->staged.push_back(record);
  }
}

// The deletion list as written and expanded; it is processed after packing.
std::vector<PatternRecord> PlannedDeletions(const RunContext& context, const ListSection& list) {
  std::vector<PatternRecord> records;
  for (int n = 1;; ++n) {
    const std::string value = list.Entry(n);
    if (value.empty()) break;
    const ExpandResult expanded = ExpandVariables(context.variables, value);
    records.push_back(
        {list.section,
         value,
         expanded.error ? expanded.what : context.platform.files->Native(expanded.text),
         0,
         {}});
  }
  return records;
}

// Puts the report, the settings file and this run's journal lines into the
// staging folder, so that they are packed with the logs.
void StageReport(RunContext& context, RunReport& report, Staging& staging, const Journal& journal,
                 const ListSection& deletions) {
  Files& files = *context.platform.files;
  // Claimed first, so that an earlier run's files of these names have moved
  // aside before the report names what an earlier run left.
  const std::string report_name = staging.Claim(kReportName);
  const std::string journal_name = staging.Claim(kJournalCopyName);
  const std::string settings = staging.Claim(kSettingsCopyName);
  AddLeftovers(files, staging, &report);
  report.delete_patterns = PlannedDeletions(context, deletions);
  for (const char* later : {"PackLogs", "DeleteListedFiles"}) {
    report.steps.push_back({later, "pending", 0});
  }
  std::error_code error;
  const auto write = [&](const std::string& staged, const std::vector<std::string>& lines) {
    std::unique_ptr<TextFile> file;
    error = files.OpenText(staging.PathOf(staged), OpenMode::kOutput, &file);
    for (const std::string& line : lines) {
      if (!error) error = file->AppendLine(line);
    }
    file.reset();
    if (!error) staging.Written(staged);
  };
  write(report_name, {RunReportJson(context, report)});
  if (error) context.platform.window->SetLabel("No run report: " + error.message());
  write(journal_name, journal.lines());
  if (!files.CopyFile(context.state.ini_path, staging.PathOf(settings), true)) {
    staging.Written(settings);
  }
}

}  // namespace

void SetProgramLocation(const std::string& program_path, RunContext* context) {
  const std::size_t cut = program_path.find_last_of("\\/");
  context->program_dir = cut == std::string::npos ? "." : program_path.substr(0, cut);
  context->program_name = BaseName(program_path);
}

RunError Configure(RunContext& context) {
  Platform& p = context.platform;
  FillDirVariables(&context.variables);
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    ResolveDirVariable(i, *p.environment, &context.variables);
  }
  const ExpandResult visu = ExpandVariables(context.variables, "$VisuDir$");
  if (visu.error) return RunError{visu.error, visu.what};
  const PlatformTags tags =
      DetectPlatformTags(p.environment->GetVersion(), *p.settings,
                         p.files->Native(visu.text + "\\Parameter\\Program.ini"));
  context.state.os_tag = tags.os_tag;
  context.state.hmi_tag = tags.hmi_tag;
  context.state.ini_path = p.files->Join(context.program_dir, context.program_name + ".ini");
  return {};
}

RunOptions ReadRunOptions(SettingsReader& reader, const std::string& ini_path) {
  RunOptions options;
  std::string warning;
  options.program_timeout_s = ReadIniCount(reader, "Project", "ProgramTimeout", ini_path, &warning);
  if (!warning.empty()) options.warnings.push_back(warning);
  warning.clear();
  options.min_free_mb = ReadIniCount(reader, "Project", "MinFreeMB", ini_path, &warning);
  if (!warning.empty()) options.warnings.push_back(warning);
  options.report = ReadIniFlag(reader, "Project", "Report", ini_path);
  return options;
}

std::string ExpandTargetPath(const RunContext& context, const std::string& value,
                             std::string* error) {
  const ExpandResult expanded = ExpandVariables(context.variables, value);
  if (expanded.error) {
    *error = "The key TargetPath in section [Project] of the settings file " +
             context.state.ini_path + " cannot be expanded: " + expanded.what;
    return "";
  }
  return context.platform.files->Native(expanded.text);
}

int RunCollection(RunContext& context) {
  Platform& p = context.platform;
  RunState& state = context.state;
  if (RunError error = Configure(context)) return EndWith(context, error.what, kExitRunError);
  std::error_code lock_error;
  if (p.lock->Take(&lock_error) == LockResult::kHeld) {
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
  const std::string target_value =
      ReadIniString(*p.settings, "Project", "TargetPath", state.ini_path);
  if (target_value.empty()) return EndWithoutTarget(context);
  std::string problem;
  state.target_path = ExpandTargetPath(context, target_value, &problem);
  if (problem.empty()) problem = TargetProblem(*p.files, state.target_path);
  if (!problem.empty() && !state.target_path.empty()) {
    problem = "The target folder " + state.target_path +
              " (key TargetPath in section [Project] "
              "of the settings file " +
              state.ini_path + ") cannot be used: " + problem + ". Nothing was collected.";
  }
  if (!problem.empty()) return EndWith(context, problem, kExitRunError);
  const RunOptions options = ReadRunOptions(*p.settings, state.ini_path);
  RunReport report;
  report.start_time = FormatTime(p.clock->Now());
  const auto list = [&](const std::string& word, const std::string& tag) {
    return ListSection{*p.settings, state.ini_path, word + tag};
  };

  Timed(context, report, "PrepareTarget", [&] {
    state.archive_name = PrepareTarget(p, state.target_path);
    return RunError();
  });
  Staging staging(*p.files, state.target_path);
  staging.NoteLeftovers();
  // The screenshot comes before the status window shows, so it is not in it.
  Timed(context, report, "CaptureScreen", [&] {
    static const char* const kSources[] = {"none", "clipboard", "direct"};
    report.screenshot = kSources[static_cast<int>(CaptureScreen(p, staging))];
    return RunError();
  });
  p.window->Show();
  for (const std::string& warning : options.warnings) {
    p.window->SetLabel(warning);
    p.clock->Sleep(kWarningMs);
  }
  if (RunError error = Timed(context, report, "WriteTaskBatch",
                             [&] { return WriteTaskBatch(p, context.variables, state.os_tag); })) {
    return EndWith(context, error.what, kExitRunError);
  }
  Timed(context, report, "RunStartPrograms", [&] {
    report.programs = RunStartPrograms(p, list("StartExeFiles", state.os_tag), context.variables,
                                       options.program_timeout_s);
    return RunError();
  });
  Timed(context, report, "ReadWindowList", [&] {
    state.window_list = ReadWindowList(p);
    return RunError();
  });
  Timed(context, report, "SaveDebugWindow", [&] {
    report.debug_window = SaveDebugWindow(p, state.window_list);
    return RunError();
  });
  Journal journal(*p.files, p.files->Join(context.program_dir, "test.log"));
  CollectOutcome collected;
  for (const std::string& tag : {state.os_tag, state.hmi_tag}) {
    const ListSection logs = list("LogFiles", tag);
    if (RunError error = Timed(context, report, "CollectLogFiles " + logs.section, [&] {
          return CollectLogFiles(p, logs, context.variables, staging, journal, options.min_free_mb,
                                 &collected);
        })) {
      return EndWith(context, error.what, kExitRunError);
    }
  }
  report.log_patterns = collected.patterns;
  report.staged = collected.staged;
  const ListSection deletions = list("DeleteFiles", state.os_tag);
  if (options.report) StageReport(context, report, staging, journal, deletions);
  // A run that nobody watches must never wait for someone to press OK.
  const RotationWarning warn = [&](const std::string& text) {
    if (context.interactive) {
      p.window->MessageBox(text);
      return;
    }
    p.window->ReportError(text, false);
    journal.Open();
    journal.Write(text);
    journal.Close();
  };
  const PackOutcome packed = PackLogs(p, context.variables, staging, journal, state.target_path,
                                      state.archive_name, options.program_timeout_s, warn);
  // Deleting logs that the archive does not hold would lose them.
  if (packed.archived) {
    DeleteListedFiles(p, deletions, context.variables, collected, packed.entries, journal);
  }

  p.window->BringToFront();
  p.window->Hide();
  p.window->SetLabel("OK");
  p.window->YieldToUi();
  p.clock->Sleep(100);
  int width_twips = 0, height_twips = 0;
  p.window->OuterSizeTwips(&width_twips, &height_twips);
  p.window->PlaceTopmost(0, 0, static_cast<int>(RoundHalfEven(width_twips / kTwipsPerPixel)),
                         static_cast<int>(RoundHalfEven(height_twips / kTwipsPerPixel)));
  const std::size_t leftovers = staging.Leftovers().size();
  const std::string earlier =
      leftovers == 0
          ? ""
          : " " + std::to_string(leftovers) + (leftovers == 1 ? " file was" : " files were") +
                " left in " + staging.path() +
                " by an earlier run that made no archive; they are packed too.";
  if (!packed.archived) {
    return EndWith(context,
                   (packed.named ? "The archive " + packed.archive_path + " was made, but "
                                 : std::string("No archive was made: ")) +
                       packed.why_not + ". The collected files are in " + staging.path() +
                       ", and nothing was deleted." + earlier,
                   kExitNoArchive);
  }
  std::string more = earlier;
  if (!packed.kept.empty()) {
    more += " The archive does not hold what stays in " + staging.path() + ":";
    for (std::size_t i = 0; i < packed.kept.size(); ++i) {
      more += (i == 0 ? " " : ", ") + packed.kept[i];
    }
    more += ".";
  }
  if (context.interactive) {
    p.window->MessageBox("File saved in " + packed.archive_path + (more.empty() ? "" : "." + more));
  } else if (!more.empty()) {
    p.window->ReportError(more.substr(1), false);
  }
  return kExitOk;
}

int RunProgram(RunContext& context) {
  std::string command = context.platform.environment->CommandTail();
  while (!command.empty() && command.back() == ' ') command.pop_back();
  const std::string option = Upper(command);
  if (option == "--HELP" || option == "-H" || option == "-?" || option == "/?") {
    UseParentConsole();
    std::cout << kHelp << std::flush;
    return kExitOk;
  }
  if (option == "--VERSION") {
    UseParentConsole();
    std::cout << "Quillet " << ProgramVersion() << std::endl;
    return kExitOk;
  }
  if (option == "--CHECK") {
    UseParentConsole();
    if (RunError error = Configure(context)) {
      std::cout << error.what << std::endl;
      return kExitRunError;
    }
    const int code = CheckSettings(context, std::cout);
    std::cout.flush();
    return code;
  }
  // Any other argument only means that a program started the run and no
  // closing message may wait for someone to press OK.
  context.interactive = command.empty();
  return RunCollection(context);
}

}  // namespace quillet
