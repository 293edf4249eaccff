// What a run did, for the optional report inside the archive.
#ifndef QUILLET_RUN_RUN_REPORT_H_
#define QUILLET_RUN_RUN_REPORT_H_

#include <string>
#include <vector>

namespace quillet {

struct StepRecord {
  std::string name;
  std::string status;  // "done", "failed", "skipped" or "pending".
  long long duration_ms = 0;
};

struct ProgramRecord {
  std::string command_line;
  bool found = false;
  bool started = false;
  bool exit_code_known = false;
  int exit_code = 0;
  long long duration_ms = 0;
  bool timed_out = false;
};

struct FileFailure {
  std::string file;
  std::string error;  // The system's text.
};

struct PatternRecord {
  std::string section;
  std::string value;    // As written in the settings file.
  std::string pattern;  // Expanded.
  int matches = 0;
  std::vector<FileFailure> failures;
};

struct RunReport {
  long long started_ms = 0;
  std::string start_time;
  std::vector<StepRecord> steps;
  std::vector<ProgramRecord> programs;
  std::vector<PatternRecord> log_patterns;
  std::vector<PatternRecord> delete_patterns;
  std::string screenshot = "none";  // "clipboard", "direct" or "none".
  bool debug_window_found = false;
  bool first_click_sent = false;
  bool second_click_sent = false;
};

}  // namespace quillet

#endif  // QUILLET_RUN_RUN_REPORT_H_
