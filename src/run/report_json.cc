#include "run/report_json.h"

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>

namespace quillet {
namespace {

using nlohmann::ordered_json;

ordered_json Failures(Environment& environment, const std::vector<FileFailure>& failures) {
  ordered_json list = ordered_json::array();
  for (const FileFailure& failure : failures) {
    list.push_back(
        {{"file", environment.ToUtf8(failure.file)}, {"error", environment.ToUtf8(failure.error)}});
  }
  return list;
}

// The entries of a list; with `processed` also what their searches found.
ordered_json Patterns(Environment& environment, const std::vector<PatternRecord>& records,
                      bool processed) {
  ordered_json list = ordered_json::array();
  for (const PatternRecord& record : records) {
    ordered_json entry = {{"section", record.section},
                          {"entry", environment.ToUtf8(record.value)},
                          {"pattern", environment.ToUtf8(record.pattern)}};
    if (processed) {
      entry["matches"] = record.matches;
      entry["failures"] = Failures(environment, record.failures);
    }
    list.push_back(entry);
  }
  return list;
}

}  // namespace

const char* ProgramVersion() { return QUILLET_VERSION; }

std::string FormatTime(const LocalTime& time) {
  char text[32];
  std::snprintf(text, sizeof(text), "%04d-%02d-%02dT%02d:%02d:%02d", time.year % 10000,
                time.month % 100, time.day % 100, time.hour % 100, time.minute % 100,
                time.second % 100);
  return text;
}

std::string FormatUtcOffset(const LocalTime& time) {
  const int minutes =
      time.utc_offset_minutes < 0 ? -time.utc_offset_minutes : time.utc_offset_minutes;
  char text[16];
  std::snprintf(text, sizeof(text), "%c%02d:%02d", time.utc_offset_minutes < 0 ? '-' : '+',
                minutes / 60 % 100, minutes % 60);
  return text;
}

std::string RunReportJson(const RunContext& context, const RunReport& report) {
  Environment& environment = *context.platform.environment;
  auto utf8 = [&environment](const std::string& text) { return environment.ToUtf8(text); };

  ordered_json variables = ordered_json::object();
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    variables[context.variables.Entry(i).name] = utf8(context.variables.Entry(i).value);
  }
  ordered_json steps = ordered_json::array();
  for (const StepRecord& step : report.steps) {
    steps.push_back(
        {{"name", step.name}, {"status", step.status}, {"duration_ms", step.duration_ms}});
  }
  ordered_json programs = ordered_json::array();
  for (const ProgramRecord& program : report.programs) {
    programs.push_back({{"command_line", utf8(program.command_line)},
                        {"found", program.found},
                        {"started", program.started},
                        {"exit_code", program.exit_code_known ? ordered_json(program.exit_code)
                                                              : ordered_json(nullptr)},
                        {"duration_ms", program.duration_ms},
                        {"timed_out", program.timed_out}});
  }
  ordered_json staged = ordered_json::array();
  for (const StagedFile& file : report.staged) {
    char crc[9];
    std::snprintf(crc, sizeof(crc), "%08x", static_cast<unsigned>(file.crc));
    ordered_json entry = {{"source", utf8(file.source)},
                          {"name", utf8(file.name)},
                          {"size", file.size},
                          {"modified", FormatTime(file.modified)},
                          {"modified_utc_offset", FormatUtcOffset(file.modified)},
                          {"crc32", crc}};
    if (!file.renamed.empty()) entry["renamed"] = utf8(file.renamed);
    if (file.earlier_run) entry["earlier_run"] = true;
    staged.push_back(entry);
  }
  const LocalTime end = context.platform.clock->Now();
  const ordered_json document = {
      {"program", {{"name", "Quillet"}, {"version", ProgramVersion()}}},
      {"computer", utf8(environment.ComputerName())},
      {"start_time", report.start_time},
      {"start_time_utc_offset", report.start_utc_offset},
      {"end_time", report.end_time.empty() ? FormatTime(end) : report.end_time},
      {"end_time_utc_offset", FormatUtcOffset(end)},
      {"system",
       {{"version", environment.SystemName()},
        {"os_tag", context.state.os_tag},
        {"hmi_tag", context.state.hmi_tag}}},
      {"settings_file", utf8(context.state.ini_path)},
      {"target_path", utf8(context.state.target_path)},
      {"archive", context.state.archive_name},
      {"directory_variables", variables},
      {"steps", steps},
      {"start_programs", programs},
      {"log_patterns", Patterns(environment, report.log_patterns, true)},
      {"staged_files", staged},
      {"delete_patterns", Patterns(environment, report.delete_patterns, false)},
      {"screenshot", report.screenshot},
      {"debug_window",
       {{"found", report.debug_window.found},
        {"first_click_sent", report.debug_window.first_click_sent},
        {"second_click_sent", report.debug_window.second_click_sent}}},
  };
  // Invalid UTF-8 (a name outside the code page) is replaced, never thrown.
  return document.dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

}  // namespace quillet
