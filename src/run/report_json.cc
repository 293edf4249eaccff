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

ordered_json Patterns(Environment& environment, const std::vector<PatternRecord>& records) {
  ordered_json list = ordered_json::array();
  for (const PatternRecord& record : records) {
    list.push_back({{"section", record.section},
                    {"entry", environment.ToUtf8(record.value)},
                    {"pattern", environment.ToUtf8(record.pattern)},
                    {"matches", record.matches},
                    {"failures", Failures(environment, record.failures)}});
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

std::string RunReportJson(RunContext& context) {
  Environment& environment = *context.platform.environment;
  const RunReport& report = context.report;
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
  const ordered_json document = {
      {"program", {{"name", "Quillet"}, {"version", ProgramVersion()}}},
      {"computer", utf8(environment.ComputerName())},
      {"start_time", report.start_time},
      {"end_time", FormatTime(context.platform.clock->Now())},
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
      {"log_patterns", Patterns(environment, report.log_patterns)},
      {"delete_patterns", Patterns(environment, report.delete_patterns)},
      {"screenshot", report.screenshot},
      {"debug_window",
       {{"found", report.debug_window_found},
        {"first_click_sent", report.first_click_sent},
        {"second_click_sent", report.second_click_sent}}},
  };
  // Invalid UTF-8 (a name outside the code page) is replaced, never thrown.
  return document.dump(2, ' ', false, ordered_json::error_handler_t::replace);
}

std::error_code WriteRunReport(RunContext& context, const std::string& path) {
  std::unique_ptr<TextFile> file;
  if (std::error_code error = context.platform.files->OpenText(path, OpenMode::kOutput, &file)) {
    return error;
  }
  return file->AppendLine(RunReportJson(context));
}

}  // namespace quillet
