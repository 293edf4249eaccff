#include "run/run_collection.h"

#include <functional>
#include <iostream>

#include "archive/pack_logs.h"
#include "archive/prepare_target.h"
#include "collect/capture_screen.h"
#include "collect/collect_logs.h"
#include "collect/launcher.h"
#include "config/platform_tags.h"
#include "config/settings.h"
#include "platform/rounding.h"
#include "run/report_json.h"
#include "run/settings_check.h"
#include "windows/debug_window.h"
#include "windows/window_list.h"

namespace quillet {
namespace {

// The closing placement converts the window's size from twips at exactly 15
// twips per pixel, whatever the display's real density.
constexpr double kTwipsPerPixel = 15.0;
// How long a warning about the settings stays in the status window.
constexpr int kWarningMs = 1500;

// Reports an error that ends the run: a message box for someone at the
// screen, standard error for a calling program, which must never be left
// waiting on a dialog.
int EndWithError(RunContext& context, const std::string& what) {
  context.platform.window->ReportError(what, context.interactive);
  return kExitRunError;
}

// Without a target folder every path of the run would start at the root of
// the current drive, so the run does nothing at all and says what to fix.
int EndWithoutTarget(RunContext& context) {
  std::uint64_t size = 0;
  const bool have_file = !context.platform.files->FileSize(context.state.ini_path, &size);
  const std::string what =
      have_file ? "The settings file " + context.state.ini_path +
                      " has no value for the key TargetPath in section [Project]. Nothing was "
                      "collected."
                : "The settings file " + context.state.ini_path +
                      " does not exist, so the key TargetPath of section [Project] is missing. "
                      "Nothing was collected.";
  context.platform.window->ReportError(what, context.interactive);
  return kExitNoTargetPath;
}

// Optional keys of section Project that extend the settings file. Invalid
// values count as absent, so they never stop a run.
void ReadExtensionKeys(RunContext& context) {
  SettingsReader& reader = *context.platform.settings;
  const std::string& ini = context.state.ini_path;
  std::string warning;
  context.program_timeout_s = ReadIniCount(reader, "Project", "ProgramTimeout", ini, &warning);
  if (!warning.empty()) context.warnings.push_back(warning);
  warning.clear();
  context.min_free_mb = ReadIniCount(reader, "Project", "MinFreeMB", ini, &warning);
  if (!warning.empty()) context.warnings.push_back(warning);
  context.report_enabled = ReadIniFlag(reader, "Project", "Report", ini);
}

// Runs one step and records its status and duration for the report.
RunError Timed(RunContext& context, const std::string& name,
               const std::function<RunError()>& step) {
  Clock& clock = *context.platform.clock;
  const long long start = clock.Milliseconds();
  RunError error = step();
  context.report.steps.push_back({name, error ? "failed" : "done", clock.Milliseconds() - start});
  return error;
}

// Fills the directory variables and the tags, and locates the settings file:
// what the run, the settings check and the report all start from.
RunError Configure(RunContext& context) {
  FillDirVariables(&context.variables);
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    ResolveDirVariable(i, *context.platform.environment, &context.variables);
  }
  if (RunError error = DetectPlatformTags(context)) return error;
  context.state.ini_path = context.program_dir + "\\" + context.program_name + ".ini";
  return {};
}

// Writes the report into the staging folder, so that it is packed with the
// logs. The deletion list is counted, not yet processed, at that moment.
void WriteReportForArchive(RunContext& context) {
  DeleteListedFiles(context, "DeleteFiles" + context.state.os_tag, /*delete_files=*/false);
  for (const char* later : {"PackLogs", "DeleteListedFiles"}) {
    context.report.steps.push_back({later, "pending", 0});
  }
  const std::string path = context.state.target_path + "\\Log\\Quillet-Report.json";
  if (std::error_code error = WriteRunReport(context, path)) {
    context.platform.window->SetLabel("No run report: " + error.message());
  }
  context.report.steps.resize(context.report.steps.size() - 2);
}

}  // namespace

void SetProgramLocation(const std::string& program_path, RunContext* context) {
  const std::size_t cut = program_path.find_last_of("\\/");
  context->program_dir = cut == std::string::npos ? "." : program_path.substr(0, cut);
  std::string name = cut == std::string::npos ? program_path : program_path.substr(cut + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  context->program_name = name;
}

int RunCollection(RunContext& context) {
  Platform& p = context.platform;
  RunState& state = context.state;
  if (RunError error = Configure(context)) return EndWithError(context, error.what);
  state.target_path = ReadIniString(*p.settings, "Project", "TargetPath", state.ini_path);
  if (state.target_path.empty()) return EndWithoutTarget(context);
  ReadExtensionKeys(context);
  context.report.start_time = FormatTime(p.clock->Now());

  Timed(context, "PrepareTarget", [&] {
    PrepareTarget(context);
    return RunError();
  });
  // The screenshot comes before the status window shows, so it is not in it.
  Timed(context, "CaptureScreen", [&] {
    static const char* const kSources[] = {"none", "clipboard", "direct"};
    context.report.screenshot = kSources[static_cast<int>(CaptureScreen(context))];
    return RunError();
  });
  p.window->Show();
  for (const std::string& warning : context.warnings) {
    p.window->SetLabel(warning);
    p.clock->Sleep(kWarningMs);
  }
  if (RunError error = Timed(context, "WriteTaskBatch", [&] { return WriteTaskBatch(context); })) {
    return EndWithError(context, error.what);
  }
  Timed(context, "RunStartPrograms", [&] {
    RunStartPrograms(context, "StartExeFiles" + state.os_tag);
    return RunError();
  });
  Timed(context, "ReadWindowList", [&] {
    ReadWindowList(context);
    return RunError();
  });
  Timed(context, "SaveDebugWindow", [&] {
    const DebugWindowOutcome outcome = SaveDebugWindow(context);
    context.report.debug_window_found = outcome.found;
    context.report.first_click_sent = outcome.first_click_sent;
    context.report.second_click_sent = outcome.second_click_sent;
    return RunError();
  });
  for (const std::string& tag : {state.os_tag, state.hmi_tag}) {
    const std::string section = "LogFiles" + tag;
    if (RunError error = Timed(context, "CollectLogFiles " + section,
                               [&] { return CollectLogFiles(context, section); })) {
      return EndWithError(context, error.what);
    }
  }
  if (context.report_enabled) WriteReportForArchive(context);
  const bool archived = PackLogs(context);
  // Deleting logs that never reached an archive would lose them.
  if (archived) DeleteListedFiles(context, "DeleteFiles" + state.os_tag);

  p.window->BringToFront();
  p.window->Hide();
  p.window->SetLabel("OK");
  p.window->YieldToUi();
  p.clock->Sleep(100);
  int width_twips = 0, height_twips = 0;
  p.window->OuterSizeTwips(&width_twips, &height_twips);
  p.window->PlaceTopmost(0, 0, static_cast<int>(RoundHalfEven(width_twips / kTwipsPerPixel)),
                         static_cast<int>(RoundHalfEven(height_twips / kTwipsPerPixel)));
  if (!archived) {
    p.window->ReportError(
        "No archive was made. The collected files are in " + state.target_path + "\\Log.",
        context.interactive);
    return kExitNoArchive;
  }
  if (context.interactive) {
    p.window->MessageBox("File saved in " + state.target_path + "\\" + state.archive_name);
  }
  return kExitOk;
}

int RunProgram(RunContext& context) {
  std::string command = context.platform.environment->CommandTail();
  while (!command.empty() && command.back() == ' ') command.pop_back();
  if (command == "--version") {
    UseParentConsole();
    std::cout << "Quillet " << ProgramVersion() << std::endl;
    return kExitOk;
  }
  if (command == "--check") {
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
