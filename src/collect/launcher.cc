#include "collect/launcher.h"

#include "config/settings.h"

namespace quillet {
namespace {

constexpr int kPollMs = 100;

}  // namespace

LaunchOutcome RunAndWait(RunContext& context, const std::string& command_line,
                         long long timeout_s) {
  Processes& processes = *context.platform.processes;
  LaunchOutcome outcome;
  ChildProcess child;
  // Only a time limit needs the process group; without one the program is
  // started exactly as it always was.
  outcome.started = !processes.Start(command_line, timeout_s > 0, &child);
  WaitResult result;
  long long waited_ms = 0;
  do {
    result = processes.Wait(child, kPollMs);
    context.platform.window->YieldToUi();
    waited_ms += kPollMs;
    if (result == WaitResult::kTimeout && timeout_s > 0 && waited_ms >= timeout_s * 1000) {
      processes.Terminate(&child);
      outcome.timed_out = true;
      break;
    }
  } while (result == WaitResult::kTimeout);
  if (outcome.started && result == WaitResult::kEnded) {
    outcome.exit_code_known = processes.ExitCode(child, &outcome.exit_code);
  }
  processes.Close(&child);
  return outcome;
}

void RunStartPrograms(RunContext& context, const std::string& section) {
  Files& files = *context.platform.files;
  Clock& clock = *context.platform.clock;
  context.platform.window->SetLabel("Exe");
  for (int n = 1;; ++n) {
    const std::string value =
        ReadListEntry(*context.platform.settings, section, n, context.state.ini_path);
    if (value.empty()) break;
    const ExpandResult command = ExpandVariables(context.variables, value);
    ProgramRecord& record = context.report.programs.emplace_back();
    record.command_line = command.error ? value : command.text;
    if (command.error) continue;  // A placeholder cycle: this entry cannot be run.
    const std::string program = command.text.substr(0, command.text.find(' '));
    std::string found;
    // A failing existence test counts as found: the launch is attempted.
    if (!files.DirFirst(program, false, &found) && found.empty()) continue;
    record.found = true;
    std::string saved;
    const bool have_saved = !files.CurrentDir(&saved);
    const std::size_t cut = program.find_last_of("\\/");
    // Without a folder in its path the program runs where the search for it
    // looked: the current directory. A failed change still runs it.
    if (cut != std::string::npos) files.ChangeDir(program.substr(0, cut));
    const long long start = clock.Milliseconds();
    const LaunchOutcome outcome = RunAndWait(context, command.text, context.program_timeout_s);
    record.duration_ms = clock.Milliseconds() - start;
    record.started = outcome.started;
    record.exit_code_known = outcome.exit_code_known;
    record.exit_code = outcome.exit_code;
    record.timed_out = outcome.timed_out;
    if (have_saved) files.ChangeDir(saved);
  }
}

}  // namespace quillet
