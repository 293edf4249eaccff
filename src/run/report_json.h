// The run report as a JSON document.
#ifndef QUILLET_RUN_REPORT_JSON_H_
#define QUILLET_RUN_REPORT_JSON_H_

#include <string>
#include <vector>

#include "core/records.h"
#include "core/run_context.h"
#include "windows/debug_window.h"

namespace quillet {

// The report's name in the staging folder and the archive.
inline constexpr char kReportName[] = "Quillet-Report.json";

// The program's version, as the build gives it.
const char* ProgramVersion();

// Local time as "YYYY-MM-DDThh:mm:ss".
std::string FormatTime(const LocalTime& time);

// A file that an entry of the deletion list matches when the report is
// written, and whether this run collected it.
struct PlannedDeletion {
  std::string path;
  bool collected = false;    // Deleted only once the archive proves to hold it.
  bool copy_failed = false;  // Kept: it is in no archive.
};

// The offset of a local time from UTC as ISO 8601 writes it: "+01:00",
// "-05:30", "+00:00" for UTC itself.
std::string FormatUtcOffset(const LocalTime& time);

// What the steps of a run reported, gathered by the driver.
struct RunReport {
  std::string start_time;
  std::string start_utc_offset;  // As FormatUtcOffset writes it.
  std::vector<StepRecord> steps;
  std::vector<ProgramRecord> programs;
  std::vector<PatternRecord> log_patterns;
  // The files in the staging folder: those collected, and those an earlier
  // run left.
  std::vector<StagedFile> staged;
  // The deletion list, which is processed after the report went into the
  // archive: its entries as written and expanded.
  std::vector<PatternRecord> delete_patterns;
  std::string screenshot = "none";  // "clipboard", "direct" or "none".
  DebugWindowOutcome debug_window;

  // What the page shows beyond the JSON document.
  std::string end_time;  // When the report was written; "" for the clock's now.
  long long min_free_mb = 0;
  std::string screenshot_name;  // Its name in the staging folder, "" without one.
  // The files the run wrote itself (report, journal, settings copy), by
  // their names in the archive.
  std::vector<std::string> own_files;
  // Per entry of delete_patterns, the files it matches now.
  std::vector<std::vector<PlannedDeletion>> planned_deletions;
};

// The report as indented JSON: the program, the computer, the settings, the
// directory variables, and every step, program, pattern, staged file, the
// screenshot and the debug window export. Texts in the system's code page
// are converted to UTF-8.
std::string RunReportJson(const RunContext& context, const RunReport& report);

}  // namespace quillet

#endif  // QUILLET_RUN_REPORT_JSON_H_
