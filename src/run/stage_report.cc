#include "run/stage_report.h"

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/patterns.h"
#include "platform/text.h"
#include "platform/wildcard.h"
#include "run/report_html.h"
#include "zip/zip_reader.h"

namespace quillet {
namespace {

// The companions of the report in the archive.
constexpr char kPageName[] = "Quillet-Report.html";
constexpr char kSettingsCopyName[] = "Quillet-Settings.ini";
constexpr char kJournalCopyName[] = "Quillet-Journal.txt";

// The record of a staged file that no log entry copied.
StagedFile Unlisted(Files& files, const Staging& staging, const std::string& name) {
  StagedFile record;
  record.name = name;
  FileInfo info;
  std::unique_ptr<InputFile> file;
  if (!files.Stat(staging.PathOf(name), &info)) record.modified = info.modified;
  if (!files.OpenRead(staging.PathOf(name), &file)) FileDigest(*file, &record.size, &record.crc);
  return record;
}

// The files an earlier run left in the staging folder, then those this run
// wrote there itself, such as the screenshot, so that the report names every
// file the archive holds besides the report and its companions.
void AddUnlisted(Files& files, Staging& staging, RunReport* report) {
  std::set<std::string> listed;
  for (const StagedFile& file : report->staged) listed.insert(Upper(file.name));
  for (const std::string& name : staging.Leftovers()) {
    report->staged.push_back(Unlisted(files, staging, name));
    report->staged.back().earlier_run = true;
    listed.insert(Upper(name));
  }
  std::vector<std::string> names, passed_over;
  ListMatches(files, staging.PathOf("*.*"), &names, &passed_over);  // What it found is listed.
  for (const std::string& name : names) {
    if (listed.count(Upper(name)) == 0) report->staged.push_back(Unlisted(files, staging, name));
  }
}

// The deletion list as written and expanded; it is processed after packing.
std::vector<PatternRecord> PlannedDeletions(const RunContext& context, const ListSection& list) {
  std::vector<PatternRecord> records;
  for (int n = 1;; ++n) {
    const std::string value = list.Entry(n);
    if (value.empty()) break;
    std::string expanded;
    const Error error = ExpandVariables(context.variables, value, &expanded);
    records.push_back({list.section,
                       value,
                       error ? error.what : context.platform.files->Native(expanded),
                       0,
                       {}});
  }
  return records;
}

// The files each entry of the deletion list matches now, and whether this
// run collected them, for the page. They are found as the deletion finds
// them, so a file that matches only by its short name is not among them.
void AddDeletionMatches(Files& files, const CollectOutcome& collected, RunReport* report) {
  for (const PatternRecord& entry : report->delete_patterns) {
    std::vector<PlannedDeletion>& planned = report->planned_deletions.emplace_back();
    std::vector<std::string> names, passed_over;
    ListMatches(files, entry.pattern, &names, &passed_over);  // What it found is listed.
    for (const std::string& name : names) {
      PlannedDeletion match;
      match.path = PathOfMatch(entry.pattern, name, files.Separator());
      FileInfo info;
      if (!files.Stat(match.path, &info)) {
        match.collected = collected.collected.count(info.id) != 0;
        match.copy_failed = collected.failed.count(info.id) != 0;
      }
      planned.push_back(match);
    }
  }
}

}  // namespace

void StageReport(RunContext& context, RunReport& report, Staging& staging, const Journal& journal,
                 const ListSection& deletions, const CollectOutcome& collected) {
  Files& files = *context.platform.files;
  // Claimed first, so that an earlier run's files of these names have moved
  // aside before the report names what an earlier run left.
  const std::string report_name = staging.Claim(kReportName);
  const std::string page_name = staging.Claim(kPageName);
  const std::string journal_name = staging.Claim(kJournalCopyName);
  const std::string settings = staging.Claim(kSettingsCopyName);
  report.own_files = {report_name, page_name, journal_name, settings};
  AddUnlisted(files, staging, &report);
  report.delete_patterns = PlannedDeletions(context, deletions);
  AddDeletionMatches(files, collected, &report);
  report.end_time = FormatTime(context.platform.clock->Now());
  for (const char* later : {"PackLogs", "DeleteListedFiles"}) {
    report.steps.push_back({later, "pending", 0});
  }
  std::error_code error;
  const auto write = [&](const std::string& staged, const std::vector<std::string>& lines) {
    std::unique_ptr<TextFile> file;
    error = files.OpenText(staging.PathOf(staged), OpenMode::kOutput, &file);
    for (const std::string& line : lines) {
      if (!error) error = file->AppendLine(line);
    }
    file.reset();
  };
  write(report_name, {RunReportJson(context, report)});
  if (error) context.platform.window->SetLabel("No run report: " + error.message());
  // The page shows the screenshot that goes into the archive, read back from
  // the staging folder: the same picture, whichever way it was taken.
  const PagePicture picture =
      report.screenshot_name.empty()
          ? PagePicture()
          : ScreenshotPicture(files, staging.PathOf(report.screenshot_name));
  write(page_name, {RunReportHtml(context, report, picture)});
  if (error) context.platform.window->SetLabel("No report page: " + error.message());
  write(journal_name, journal.lines());
  // Without its copy the archive still holds the report, which names the
  // settings file.
  files.CopyFile(context.state.ini_path, staging.PathOf(settings), true);
}

}  // namespace quillet
