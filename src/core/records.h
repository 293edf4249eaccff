// What the steps of a run report about what they did: the outcome records
// that the driver composes the closing text and the run report from.
#ifndef QUILLET_CORE_RECORDS_H_
#define QUILLET_CORE_RECORDS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"

namespace quillet {

struct FileFailure {
  std::string file;
  std::string error;  // Why, in the system's words or the program's.
};

// One entry of a log or deletion list.
struct PatternRecord {
  std::string section;
  std::string value;    // As written in the settings file.
  std::string pattern;  // Expanded.
  int matches = 0;
  std::vector<FileFailure> failures;
};

// One entry of the start list.
struct ProgramRecord {
  std::string command_line;
  bool found = false;
  bool started = false;
  bool exit_code_known = false;
  int exit_code = 0;
  long long duration_ms = 0;
  bool timed_out = false;
};

// One file in the staging folder and where it came from.
struct StagedFile {
  std::string source;  // "" for a file that the run wrote itself.
  std::string name;    // Its name in the staging folder and the archive.
  std::uint64_t size = 0;
  LocalTime modified;
  std::uint32_t crc = 0;
  std::string renamed;       // Why it is not under its own name; "" when it is.
  bool earlier_run = false;  // Left by an earlier run that made no archive.
};

struct StepRecord {
  std::string name;
  std::string status;  // "done", "failed" or "pending".
  long long duration_ms = 0;
};

}  // namespace quillet

#endif  // QUILLET_CORE_RECORDS_H_
