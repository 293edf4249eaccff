#include "run/run_collection.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <memory>
#include <set>

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
#include "platform/wildcard.h"
#include "run/report_html.h"
#include "run/report_json.h"
#include "run/settings_check.h"
#include "run/verify_archive.h"
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
constexpr char kPageName[] = "Quillet-Report.html";
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
    "  --check, /check      show what a run would read, run, collect and delete,\n"
    "               and the problems of the settings file; changes nothing\n"
    "  --verify ARCHIVE, /verify ARCHIVE   read every file of a received archive\n"
    "               back against its size and CRC-32 and show the run's computer,\n"
    "               time and outcome\n"
    "  --version, /version  show the version\n"
    "  --help, /help, -h, -?, /?   show this text\n"
    "  any other argument   an unattended run: no message waits for OK (for\n"
    "               schedulers and other programs, e.g. \"quillet auto\")\n"
    "\n"
    "Settings: the file beside the program, named after it (quillet.exe reads\n"
    "quillet.ini). Section [Project] names the TargetPath.\n"
    "\n"
    "Exit codes: 0 the archive was made and checked; 1 an error ended the run;\n"
    "2 no settings file or no TargetPath, or a mistyped option; 3 no archive was\n"
    "made, the collected files stay in TargetPath\\Log and nothing was deleted;\n"
    "4 --check found a problem; 5 another run was going on, nothing was done.\n"
    "--verify exits with 0 when the archive is whole, 3 when it is not and 1 when\n"
    "it cannot be opened.\n";

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

// A step that went on past a failure did not do all its work: its status
// says so, so that it agrees with the results the report holds for it.
void FailLastStepIf(bool failed, RunReport* report) {
  if (failed) report->steps.back().status = "failed";
}

// The record of a staged file that no log entry copied.
StagedFile Unlisted(Files& files, const Staging& staging, const std::string& name) {
  StagedFile record;
  record.name = name;
  FileInfo info;
  std::unique_ptr<InputFile> file;
  if (!files.Stat(staging.PathOf(name), &info)) record.modified = info.modified;
  if (!files.OpenRead(staging.PathOf(name), &file)) FileDigest(*file, &record.size, &record.crc);
  return record;
}

// The files an earlier run left in the staging folder, then those this run
// wrote there itself, such as the screenshot, so that the report names every
// file the archive holds besides the report and its companions.
void AddUnlisted(Files& files, Staging& staging, RunReport* report) {
  std::set<std::string> listed;
  for (const StagedFile& file : report->staged) listed.insert(Upper(file.name));
  for (const std::string& name : staging.Leftovers()) {
    report->staged.push_back(Unlisted(files, staging, name));
    report->staged.back().earlier_run = true;
    listed.insert(Upper(name));
  }
  std::vector<std::string> own;
  std::string name;
  for (files.DirFirst(staging.PathOf("*.*"), false, &name); !name.empty(); files.DirNext(&name)) {
    if (listed.count(Upper(name)) == 0) own.push_back(name);
  }
  for (const std::string& file : own) report->staged.push_back(Unlisted(files, staging, file));
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

// The files each entry of the deletion list matches now, and whether this
// run collected them, for the page.
void AddDeletionMatches(Files& files, const CollectOutcome& collected, RunReport* report) {
  for (const PatternRecord& entry : report->delete_patterns) {
    std::vector<PlannedDeletion>& planned = report->planned_deletions.emplace_back();
    std::string name;
    if (files.DirFirst(entry.pattern, false, &name)) continue;
    while (!name.empty()) {
      PlannedDeletion match;
      match.path = PathOfMatch(entry.pattern, name, files.Separator());
      FileInfo info;
      if (!files.Stat(match.path, &info)) {
        match.collected = collected.collected.count(info.id) != 0;
        match.copy_failed = collected.failed.count(info.id) != 0;
      }
      planned.push_back(match);
      if (files.DirNext(&name)) break;
    }
  }
}

// Puts the report, its page, the settings file and this run's journal lines
// into the staging folder, so that they are packed with the logs.
void StageReport(RunContext& context, RunReport& report, Staging& staging, const Journal& journal,
                 const ListSection& deletions, const CollectOutcome& collected) {
  Files& files = *context.platform.files;
  // Claimed first, so that an earlier run's files of these names have moved
  // aside before the report names what an earlier run left.
  const std::string report_name = staging.Claim(kReportName);
  const std::string page_name = staging.Claim(kPageName);
  const std::string journal_name = staging.Claim(kJournalCopyName);
  const std::string settings = staging.Claim(kSettingsCopyName);
  report.own_files = {report_name, page_name, journal_name, settings};
  AddUnlisted(files, staging, &report);
  report.delete_patterns = PlannedDeletions(context, deletions);
  AddDeletionMatches(files, collected, &report);
  report.end_time = FormatTime(context.platform.clock->Now());
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
  // The page shows the screenshot that goes into the archive, read back from
  // the staging folder: the same picture, whichever way it was taken.
  const PagePicture picture =
      report.screenshot_name.empty()
          ? PagePicture()
          : ScreenshotPicture(files, staging.PathOf(report.screenshot_name));
  write(page_name, {RunReportHtml(context, report, picture)});
  if (error) context.platform.window->SetLabel("No report page: " + error.message());
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
  const LocalTime start = p.clock->Now();
  report.start_time = FormatTime(start);
  report.start_utc_offset = FormatUtcOffset(start);
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
    const ScreenSource source = CaptureScreen(p, staging, &report.screenshot_name);
    report.screenshot = kSources[static_cast<int>(source)];
    if (source == ScreenSource::kNone) report.screenshot_name.clear();
    return RunError();
  });
  FailLastStepIf(report.screenshot == "none", &report);
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
  FailLastStepIf(std::any_of(report.programs.begin(), report.programs.end(),
                             [](const ProgramRecord& program) {
                               return !program.started || program.timed_out;
                             }),
                 &report);
  Timed(context, report, "ReadWindowList", [&] {
    state.window_list = ReadWindowList(p);
    return RunError();
  });
  Timed(context, report, "SaveDebugWindow", [&] {
    report.debug_window = SaveDebugWindow(p, state.window_list);
    return RunError();
  });
  FailLastStepIf(!report.debug_window.second_click_sent, &report);
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
    FailLastStepIf(std::any_of(collected.patterns.begin(), collected.patterns.end(),
                               [&](const PatternRecord& pattern) {
                                 return pattern.section == logs.section &&
                                        !pattern.failures.empty();
                               }),
                   &report);
  }
  report.log_patterns = collected.patterns;
  report.staged = collected.staged;
  const ListSection deletions = list("DeleteFiles", state.os_tag);
  report.min_free_mb = options.min_free_mb;
  if (options.report) StageReport(context, report, staging, journal, deletions, collected);
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
  // "OK" only ever stands for an archive that was made and checked.
  p.window->SetLabel(packed.archived ? "OK" : "No archive was made");
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

namespace {

enum class Option { kRun, kHelp, kVersion, kCheck, kVerify, kRefused };

// The options, written the Unix way or the Windows way.
constexpr std::pair<const char*, Option> kOptions[] = {
    {"--help", Option::kHelp},      {"-h", Option::kHelp},       {"-?", Option::kHelp},
    {"/?", Option::kHelp},          {"/help", Option::kHelp},    {"--version", Option::kVersion},
    {"/version", Option::kVersion}, {"--check", Option::kCheck}, {"/check", Option::kCheck},
    {"--verify", Option::kVerify},  {"/verify", Option::kVerify}};

// What the text after the program's name asks for. An option alone is
// carried out. A word that starts with "-" or "/" and is at most two letters
// away from an option ("--chek", "/hlep") is a mistyped option, as is an
// option among other words: a run it started would rotate archives and
// delete logs where only a look was meant, so it is refused. The one option
// that takes a word after it is --verify, whose archive is the rest of the
// text, blanks included, without the quotes around it; `*archive` receives
// it. Every other text asks for an unattended run.
Option ParseCommandTail(const std::string& tail, std::string* archive) {
  std::vector<std::string> words;
  std::string word;
  for (char c : tail + " ") {
    if (c != ' ' && c != '\t') {
      if (c != '"') word += c;
    } else if (!word.empty()) {
      words.push_back(word);
      word.clear();
    }
  }
  for (const auto& [name, option] : kOptions) {
    if (words.empty() || !SameNoCase(words[0], name)) continue;
    if (option == Option::kVerify) {
      const std::size_t start = tail.find_first_not_of(" \t");
      const std::size_t end = tail.find_first_of(" \t", start);
      std::string rest = end == std::string::npos ? "" : tail.substr(end);
      rest.erase(0, rest.find_first_not_of(" \t"));
      rest.erase(rest.find_last_not_of(" \t") + 1);
      if (rest.size() >= 2 && rest.front() == '"' && rest.back() == '"') {
        rest = rest.substr(1, rest.size() - 2);
      }
      *archive = rest;
      return option;
    }
    if (words.size() == 1) return option;
  }
  for (const std::string& candidate : words) {
    if (candidate[0] != '-' && candidate[0] != '/') continue;
    for (const auto& option : kOptions) {
      if (EditDistanceNoCase(candidate, option.first) <= 2) return Option::kRefused;
    }
  }
  return Option::kRun;
}

}  // namespace

int RunProgram(RunContext& context) {
  const std::string command = context.platform.environment->CommandTail();
  std::string archive;
  const Option option = ParseCommandTail(command, &archive);
  if (option != Option::kRun) UseParentConsole();
  switch (option) {
    case Option::kRefused:
      std::cout << "Unknown option in \"" << command << "\"; nothing was done.\n\n"
                << kHelp << std::flush;
      return kExitUsage;
    case Option::kHelp:
      std::cout << kHelp << std::flush;
      return kExitOk;
    case Option::kVersion:
      std::cout << "Quillet " << ProgramVersion() << std::endl;
      return kExitOk;
    case Option::kCheck: {
      if (RunError error = Configure(context)) {
        std::cout << error.what << std::endl;
        return kExitRunError;
      }
      const int code = CheckSettings(context, std::cout);
      std::cout.flush();
      return code;
    }
    case Option::kVerify: {
      if (archive.empty()) {
        std::cout << "Usage: quillet --verify ARCHIVE" << std::endl;
        return kExitUsage;
      }
      const int code = VerifyArchive(*context.platform.files, archive, std::cout);
      std::cout.flush();
      return code;
    }
    case Option::kRun:
      break;
  }
  // Any other argument only means that a program started the run and no
  // closing message may wait for someone to press OK.
  context.interactive = command.find_first_not_of(" \t") == std::string::npos;
  return RunCollection(context);
}

}  // namespace quillet
