// The run report as a JSON document.
#ifndef QUILLET_RUN_REPORT_JSON_H_
#define QUILLET_RUN_REPORT_JSON_H_

#include <string>
#include <system_error>

#include "run/run_context.h"

namespace quillet {

// The program's version, as the build gives it.
const char* ProgramVersion();

// Local time as "YYYY-MM-DDThh:mm:ss".
std::string FormatTime(const LocalTime& time);

// The report of the run so far as indented JSON: the program, the computer,
// the settings, the directory variables, and every step, program, pattern,
// the screenshot and the debug window export. Texts in the system's code
// page are converted to UTF-8.
std::string RunReportJson(RunContext& context);

// Writes RunReportJson to `path`.
std::error_code WriteRunReport(RunContext& context, const std::string& path);

}  // namespace quillet

#endif  // QUILLET_RUN_REPORT_JSON_H_
