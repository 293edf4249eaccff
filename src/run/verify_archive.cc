#include "run/verify_archive.h"

#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <vector>

#include "core/run_state.h"
#include "run/report_html.h"
#include "zip/zip_reader.h"

namespace quillet {
namespace {

using nlohmann::json;

// A report larger than this is not kept in memory to be read.
constexpr std::uint64_t kMaxReportBytes = 64ull * 1024 * 1024;

// The report was written by a run, but the archive travelled: a field of
// another type than expected reads as absent instead of throwing.
std::string Text(const json& object, const char* key) {
  const auto found = object.is_object() ? object.find(key) : object.end();
  return found != object.end() && found->is_string() ? found->get<std::string>() : "";
}
long long Number(const json& object, const char* key) {
  const auto found = object.is_object() ? object.find(key) : object.end();
  return found != object.end() && found->is_number_integer() ? found->get<long long>() : 0;
}
bool Flag(const json& object, const char* key) {
  const auto found = object.is_object() ? object.find(key) : object.end();
  return found != object.end() && found->is_boolean() && found->get<bool>();
}
const json& List(const json& object, const char* key) {
  static const json kNone = json::array();
  const auto found = object.is_object() ? object.find(key) : object.end();
  return found != object.end() && found->is_array() ? *found : kNone;
}

// The parts of the report that its outcome is made of.
RunReport ReadReport(const json& document) {
  RunReport report;
  report.start_time = Text(document, "start_time");
  report.end_time = Text(document, "end_time");
  for (const json& step : List(document, "steps")) {
    report.steps.push_back({Text(step, "name"), Text(step, "status"), Number(step, "duration_ms")});
  }
  for (const json& entry : List(document, "start_programs")) {
    ProgramRecord program;
    program.command_line = Text(entry, "command_line");
    program.found = Flag(entry, "found");
    program.started = Flag(entry, "started");
    program.exit_code_known =
        entry.is_object() && entry.contains("exit_code") && entry["exit_code"].is_number_integer();
    program.exit_code = static_cast<int>(Number(entry, "exit_code"));
    program.duration_ms = Number(entry, "duration_ms");
    program.timed_out = Flag(entry, "timed_out");
    report.programs.push_back(program);
  }
  for (const json& entry : List(document, "log_patterns")) {
    PatternRecord pattern{Text(entry, "section"),
                          Text(entry, "entry"),
                          Text(entry, "pattern"),
                          static_cast<int>(Number(entry, "matches")),
                          {}};
    for (const json& failure : List(entry, "failures")) {
      pattern.failures.push_back({Text(failure, "file"), Text(failure, "error")});
    }
    report.log_patterns.push_back(pattern);
  }
  for (const json& entry : List(document, "staged_files")) {
    StagedFile file;
    file.name = Text(entry, "name");
    file.source = Text(entry, "source");
    file.earlier_run = Flag(entry, "earlier_run");
    report.staged.push_back(file);
  }
  report.screenshot = Text(document, "screenshot");
  const json none = json::object();
  const json& window =
      document.is_object() && document.contains("debug_window") ? document["debug_window"] : none;
  report.debug_window = {Flag(window, "found"), Flag(window, "first_click_sent"),
                         Flag(window, "second_click_sent")};
  return report;
}

}  // namespace

int VerifyArchive(Files& files, const std::string& path, std::ostream& out) {
  out << "Archive: " << path << "\n";
  std::unique_ptr<InputFile> archive;
  if (std::error_code error = files.OpenRead(path, &archive)) {
    out << "Cannot open the archive: " << error.message() << ".\n";
    return kExitRunError;
  }
  std::vector<ZipEntryInfo> entries;
  if (Error error = ReadCentralDirectory(*archive, &entries)) {
    out << "NOT WHOLE: this is no readable zip archive: " << error.what << ".\n";
    return kExitNoArchive;
  }
  std::vector<std::string> damaged;
  std::set<std::string> names;
  std::string report_text;
  for (const ZipEntryInfo& entry : entries) {
    names.insert(entry.name);
    const bool is_report = entry.name == kReportName && entry.size <= kMaxReportBytes;
    if (ExtractEntry(*archive, entry, [&](const char* data, std::size_t size) {
          if (is_report) report_text.append(data, size);
        })) {
      damaged.push_back(entry.name);
      if (is_report) report_text.clear();
    }
  }
  std::vector<std::string> missing;
  const json document = json::parse(report_text, nullptr, false);
  if (report_text.empty() || !document.is_object()) {
    out << "The archive holds no readable " << kReportName
        << ", so it names no computer, time or outcome.\n";
  } else {
    const RunReport report = ReadReport(document);
    out << "Computer: " << Text(document, "computer") << "\nRun: " << report.start_time << " to "
        << report.end_time << "\nOutcome: " << RunOutcome(report) << "\n";
    for (const StagedFile& file : report.staged) {
      if (names.count(file.name) == 0) missing.push_back(file.name);
    }
  }
  for (const std::string& name : damaged) {
    out << "DAMAGED: " << name
        << " (its content does not give the size and CRC-32 the archive names)\n";
  }
  for (const std::string& name : missing) {
    out << "MISSING: " << name << " (the report lists it, the archive does not hold it)\n";
  }
  if (damaged.empty() && missing.empty()) {
    out << "Whole: " << entries.size()
        << (entries.size() == 1 ? " file read back against its size and CRC-32.\n"
                                : " files read back against their sizes and CRC-32.\n");
    return kExitOk;
  }
  out << "NOT WHOLE: " << damaged.size() << " of " << entries.size() << " files damaged, "
      << missing.size() << " missing.\n";
  return kExitNoArchive;
}

}  // namespace quillet
