#include "run/run_collection.h"

#include "archive/pack_logs.h"
#include "archive/prepare_target.h"
#include "collect/capture_screen.h"
#include "collect/collect_logs.h"
#include "collect/launcher.h"
#include "config/platform_tags.h"
#include "config/settings.h"
#include "platform/rounding.h"
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

  // Directory variables: built-in defaults, then the environment.
  FillDirVariables(&context.variables);
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    ResolveDirVariable(i, *p.environment, &context.variables);
  }
  if (RunError error = DetectPlatformTags(context)) return EndWithError(context, error.what);

  state.ini_path = context.program_dir + "\\" + context.program_name + ".ini";
  state.target_path = ReadIniString(*p.settings, "Project", "TargetPath", state.ini_path);
  if (state.target_path.empty()) return EndWithoutTarget(context);
  ReadExtensionKeys(context);

  PrepareTarget(context);
  CaptureScreen(context);  // Before the status window shows, so it is not in the picture.
  p.window->Show();
  for (const std::string& warning : context.warnings) {
    p.window->SetLabel(warning);
    p.clock->Sleep(kWarningMs);
  }
  if (RunError error = WriteTaskBatch(context)) return EndWithError(context, error.what);
  RunStartPrograms(context, "StartExeFiles" + state.os_tag);
  ReadWindowList(context);
  SaveDebugWindow(context);
  if (RunError error = CollectLogFiles(context, "LogFiles" + state.os_tag)) {
    return EndWithError(context, error.what);
  }
  if (RunError error = CollectLogFiles(context, "LogFiles" + state.hmi_tag)) {
    return EndWithError(context, error.what);
  }
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
    p.window->ReportError("No archive was made. The collected files are in " + state.target_path +
                              "\\Log.",
                          context.interactive);
    return kExitNoArchive;
  }
  if (context.interactive) {
    p.window->MessageBox("File saved in " + state.target_path + "\\" + state.archive_name);
  }
  return kExitOk;
}

}  // namespace quillet
