#include "collect/start_programs.h"

#include "core/run_and_wait.h"

namespace quillet {

std::vector<ProgramRecord> RunStartPrograms(const Platform& platform, const ListSection& list,
                                            const DirVariables& variables, long long timeout_s) {
  Files& files = *platform.files;
  platform.window->SetLabel("Exe");
  std::vector<ProgramRecord> records;
  for (int n = 1;; ++n) {
    const std::string value = list.Entry(n);
    if (value.empty()) break;
    std::string command;
    ProgramRecord& record = records.emplace_back();
    // A placeholder cycle: this entry cannot be run.
    if (ExpandVariables(variables, value, &command)) {
      record.command_line = value;
      continue;
    }
    // The program's path is written as the system writes paths; its
    // arguments stay as they are.
    const std::size_t blank = command.find(' ');
    const std::string program = files.Native(command.substr(0, blank));
    record.command_line =
        program + (blank == std::string::npos ? std::string() : command.substr(blank));
    std::vector<std::string> found;
    // A failing existence test counts as found: the launch is attempted.
    if (!files.List(program, false, &found) && found.empty()) continue;
    record.found = true;
    std::string saved;
    const bool have_saved = !files.CurrentDir(&saved);
    const std::size_t cut = program.find_last_of("\\/");
    // Without a folder in its path the program runs where the search for it
    // looked: the current directory. A failed change still runs it.
    if (cut != std::string::npos) files.ChangeDir(program.substr(0, cut));
    const long long start = platform.clock->Milliseconds();
    const LaunchOutcome outcome =
        RunAndWait(*platform.processes, *platform.window, record.command_line, timeout_s);
    record.duration_ms = platform.clock->Milliseconds() - start;
    record.started = outcome.started;
    record.exit_code_known = outcome.exit_code_known;
    record.exit_code = outcome.exit_code;
    record.timed_out = outcome.timed_out;
    if (have_saved) files.ChangeDir(saved);
  }
  return records;
}

}  // namespace quillet
