#include "run/report_html.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <system_error>

#include "config/settings_schema.h"
#include "platform/bmp.h"
#include "zip/png_writer.h"

namespace quillet {
namespace {

// A screenshot file larger than this is no BMP of a screen; it is not read.
constexpr std::uint64_t kMaxScreenshotBytes = 512ull * 1024 * 1024;

constexpr char kStyle[] =
    "body{font-family:Arial,Helvetica,sans-serif;font-size:14px;color:#222;margin:16px}"
    "h1{font-size:20px;margin:0 0 6px}"
    "h2{font-size:16px;border-bottom:1px solid #999;margin:22px 0 6px}"
    "table{border-collapse:collapse}"
    "th,td{border:1px solid #bbb;padding:2px 6px;text-align:left;vertical-align:top}"
    "th{background:#e8e8e8}.num{text-align:right}"
    ".summary{font-size:15px;padding:6px;background:#eef2ff;border:1px solid #99c}"
    ".problems{background:#fff0f0;border:2px solid #d00;padding:6px 6px 6px 28px;margin:0}"
    ".problems li,.bad td,.bad{color:#b00000;font-weight:bold}.ok{color:#060}"
    ".chart td{border:none}.track{width:420px}"
    ".bar{background:#4a7fc1;height:12px;font-size:1px}.pending{background:#bbb}"
    ".shot{overflow:auto}.shot img{max-width:100%;height:auto;border:1px solid #888}"
    "#full{position:absolute;left:-9999px}#full:checked+label img{max-width:none}"
    ".note{color:#555}";

// `text` with the five characters that HTML gives a meaning replaced.
std::string Escape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string Base64(const std::string& bytes) {
  static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - at);
    std::uint32_t group = 0;
    for (std::size_t i = 0; i < 3; ++i) {
      group = (group << 8) | (i < n ? static_cast<unsigned char>(bytes[at + i]) : 0u);
    }
    for (std::size_t i = 0; i < 4; ++i) {
      out += i <= n ? kDigits[(group >> (18 - 6 * i)) & 63] : '=';
    }
  }
  return out;
}

// Sizes as people read them: bytes up to 1023, then KiB, MiB, GiB.
std::string ReadableSize(std::uint64_t size) {
  if (size < 1024) return std::to_string(size) + " B";
  static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
  double value = static_cast<double>(size) / 1024;
  int unit = 0;
  while (value >= 1024 && unit < 3) {
    value /= 1024;
    ++unit;
  }
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f %s", value, kUnits[unit]);
  return text;
}

// Durations below a second in milliseconds, longer ones in tenths of seconds.
std::string Duration(long long ms) {
  if (ms < 1000) return std::to_string(ms) + " ms";
  char text[32];
  std::snprintf(text, sizeof(text), "%.1f s", static_cast<double>(ms) / 1000);
  return text;
}

// "YYYY-MM-DDThh:mm:ss" with a blank between date and time.
std::string Readable(std::string time) {
  if (time.size() > 10 && time[10] == 'T') time[10] = ' ';
  return time;
}

// Appends tags and texts; `Text` converts a text of the PC to UTF-8 and
// escapes it, so that nothing from the PC can change the page.
class Page {
 public:
  explicit Page(Environment& environment) : environment_(environment) {}
  Page& operator<<(const std::string& markup) {
    html_ += markup;
    return *this;
  }
  std::string Text(const std::string& text) { return Escape(environment_.ToUtf8(text)); }
  // A table row of cells, each already markup.
  void Row(const std::vector<std::string>& cells, const std::string& row_class = "",
           const char* cell = "td") {
    html_ += row_class.empty() ? "<tr>" : "<tr class=\"" + row_class + "\">";
    for (const std::string& text : cells) {
      html_ += std::string("<") + cell + ">" + text + "</" + cell + ">";
    }
    html_ += "</tr>\n";
  }
  void Header(const std::vector<std::string>& cells) { Row(cells, "", "th"); }
  const std::string& html() const { return html_; }

 private:
  Environment& environment_;
  std::string html_;
};

void Screenshot(Page& page, const RunReport& report, const PagePicture& picture) {
  page << "<h2>The screen as the run took it</h2>\n";
  if (picture.png.empty()) {
    page << "<p class=\"bad\">"
         << (report.screenshot_name.empty()
                 ? "No screenshot was taken."
                 : "The screenshot " + page.Text(report.screenshot_name) + " cannot be shown here.")
         << "</p>\n";
    return;
  }
  const std::string width = std::to_string(picture.width), height = std::to_string(picture.height);
  // The hidden box turns a click on the picture into its full size, without a script.
  page << "<div class=\"shot\"><input type=\"checkbox\" id=\"full\"><label for=\"full\">"
       << "<img src=\"data:image/png;base64," << Base64(picture.png) << "\" width=\"" << width
       << "\" height=\"" << height << "\" alt=\"The screen as the run took it\"></label></div>\n"
       << "<p class=\"note\">" << width << " &times; " << height << " pixels, taken "
       << (report.screenshot == "clipboard" ? "through the clipboard" : "directly")
       << "; click the picture to see it at full size. " << page.Text(report.screenshot_name)
       << " in the archive holds the same picture.</p>\n";
}

void Steps(Page& page, const RunReport& report) {
  long long longest = 1;
  for (const StepRecord& step : report.steps) longest = std::max(longest, step.duration_ms);
  page << "<h2>Steps</h2>\n<table class=\"chart\">\n";
  for (const StepRecord& step : report.steps) {
    const bool pending = step.status == "pending";
    const long long percent = std::max(1LL, step.duration_ms * 100 / longest);
    page.Row(
        {page.Text(step.name),
         "<div class=\"track\"><div class=\"bar" + std::string(pending ? " pending" : "") +
             "\" style=\"width:" + std::to_string(pending ? 1 : percent) + "%\">&nbsp;</div></div>",
         pending ? "after this page was written"
                 : Duration(step.duration_ms) + (step.status == "failed" ? ", failed" : "")},
        step.status == "failed" ? "bad" : "");
  }
  page << "</table>\n";
}

void StartList(Page& page, const RunReport& report) {
  page << "<h2>Start list</h2>\n";
  if (report.programs.empty()) {
    page << "<p>The start list is empty.</p>\n";
    return;
  }
  page << "<table>\n";
  page.Header({"Command line", "Started", "Exit code", "Duration", "Timed out"});
  for (const ProgramRecord& program : report.programs) {
    const bool bad = !program.started || program.timed_out ||
                     (program.exit_code_known && program.exit_code != 0);
    page.Row({page.Text(program.command_line),
              program.started ? "yes"
              : program.found ? "no"
                              : "no: not found",
              program.exit_code_known ? std::to_string(program.exit_code) : "unknown",
              Duration(program.duration_ms), program.timed_out ? "yes" : "no"},
             bad ? "bad" : "");
  }
  page << "</table>\n";
}

void CollectedFiles(Page& page, const RunReport& report) {
  page << "<h2>Collected files</h2>\n<table>\n";
  page.Header({"Name in the archive", "Source", "Size", "Last written", "CRC-32", "Renamed, why",
               "Left by an earlier run"});
  for (const StagedFile& file : report.staged) {
    char crc[9];
    std::snprintf(crc, sizeof(crc), "%08x", static_cast<unsigned>(file.crc));
    page.Row(
        {page.Text(file.name),
         file.source.empty() && !file.earlier_run ? "written by this run" : page.Text(file.source),
         "<span title=\"" + std::to_string(file.size) + " bytes\">" + ReadableSize(file.size) +
             "</span>",
         Readable(FormatTime(file.modified)), crc, page.Text(file.renamed),
         file.earlier_run ? "yes" : ""});
  }
  // The report's own files come last; the screenshot is among the staged
  // files, which name every file of the staging folder.
  for (const std::string& name : report.own_files) {
    page.Row({page.Text(name), "written by this run", "", "", "", "", ""});
  }
  page << "</table>\n";
}

void Deletions(Page& page, const RunReport& report) {
  page << "<h2>Deletion list</h2>\n"
          "<p>Deletion comes after the archive is sealed: when this page was written nothing "
          "had been deleted. Quillet deletes a collected file only once it has read the "
          "finished archive back and found the file in it unchanged.</p>\n";
  if (report.delete_patterns.empty()) {
    page << "<p>The deletion list is empty.</p>\n";
    return;
  }
  page << "<table>\n";
  page.Header({"Entry", "Expanded", "Files it matches now"});
  for (std::size_t i = 0; i < report.delete_patterns.size(); ++i) {
    const PatternRecord& entry = report.delete_patterns[i];
    std::string files;
    if (i < report.planned_deletions.size()) {
      for (const PlannedDeletion& planned : report.planned_deletions[i]) {
        files += planned.copy_failed ? "<span class=\"bad\">" + page.Text(planned.path) +
                                           ": kept, it could not be collected</span>"
                 : planned.collected
                     ? page.Text(planned.path) + ": deleted once the archive proves to hold it"
                     : "<span class=\"bad\">" + page.Text(planned.path) +
                           ": deleted, though no archive holds it (not collected)</span>";
        files += "<br>";
      }
    }
    page.Row({"[" + page.Text(entry.section) + "] " + page.Text(entry.value),
              page.Text(entry.pattern), files.empty() ? "none" : files});
  }
  page << "</table>\n";
}

void Configuration(Page& page, const RunContext& context, Environment& environment) {
  page << "<h2>Directory variables, platform tags, settings</h2>\n<table>\n";
  for (int i = 1; i <= kBuiltInDirVariables; ++i) {
    const DirVariable& variable = context.variables.Entry(i);
    page.Row({"$" + page.Text(variable.name) + "$", page.Text(variable.value)});
  }
  page.Row({"System", page.Text(environment.SystemName())});
  page.Row(
      {"Platform tags", page.Text(context.state.os_tag) + ", " + page.Text(context.state.hmi_tag)});
  page.Row({"Settings file", page.Text(context.state.ini_path) +
                                 " (its copy in the archive: Quillet-Settings.ini)"});
  page.Row({"Target folder", page.Text(context.state.target_path)});
  page.Row({"Archive", page.Text(context.state.archive_name)});
  page << "</table>\n";
}

}  // namespace

PagePicture ScreenshotPicture(Files& files, const std::string& path) {
  PagePicture picture;
  std::unique_ptr<InputFile> file;
  if (files.OpenRead(path, &file)) return picture;
  const std::uint64_t size = file->Size();
  if (size > kMaxScreenshotBytes) return picture;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  for (std::size_t done = 0; done < bytes.size();) {
    std::size_t got = 0;
    if (file->ReadAt(done, &bytes[done], bytes.size() - done, &got) || got == 0) return picture;
    done += got;
  }
  std::vector<std::uint8_t> rgb;
  if (!DecodeBmp(bytes, &picture.width, &picture.height, &rgb)) return picture;
  picture.png = EncodePng(picture.width, picture.height, rgb);
  return picture;
}

std::vector<std::string> RunProblems(const RunReport& report) {
  std::vector<std::string> problems;
  for (const StepRecord& step : report.steps) {
    if (step.status == "failed") problems.push_back("The step " + step.name + " failed.");
  }
  if (report.screenshot == "none") problems.push_back("No screenshot was taken.");
  for (const ProgramRecord& program : report.programs) {
    const std::string name = "The program " + program.command_line;
    if (!program.found) {
      problems.push_back(name + " was not found.");
    } else if (!program.started) {
      problems.push_back(name + " did not start.");
    } else if (program.timed_out) {
      problems.push_back(name + " was ended at the time limit after " +
                         Duration(program.duration_ms) + ".");
    } else if (program.exit_code_known && program.exit_code != 0) {
      problems.push_back(name + " exited with code " + std::to_string(program.exit_code) + ".");
    }
  }
  const std::string no_space = std::make_error_code(std::errc::no_space_on_device).message();
  for (const PatternRecord& pattern : report.log_patterns) {
    const std::string entry = "[" + pattern.section + "] " + pattern.value;
    for (const FileFailure& failure : pattern.failures) {
      if (failure.error == "folder not found") {
        problems.push_back(entry +
                           (failure.file == pattern.value ? "" : " (" + failure.file + ")") +
                           ": its folder does not exist.");
      } else if (failure.file.empty()) {
        problems.push_back(entry + " failed: " + failure.error + ".");
      } else if (failure.error == no_space && report.min_free_mb > 0) {
        problems.push_back(failure.file +
                           " was not copied: it would have left less than the "
                           "free-space reserve of " +
                           std::to_string(report.min_free_mb) + " MiB (" + kMinFreeMbKey.name +
                           ") on the staging folder's drive.");
      } else {
        problems.push_back(failure.file + " could not be copied: " + failure.error + ".");
      }
    }
  }
  if (!report.debug_window.found) {
    problems.push_back("The HMI's debug window was not found, so its contents were not saved.");
  } else if (!report.debug_window.second_click_sent) {
    problems.push_back("The HMI's debug window was found, but saving its contents did not finish.");
  }
  return problems;
}

std::string RunOutcome(const RunReport& report) {
  // Collected files have a source on the PC; the screenshot, which the run
  // wrote itself, and an earlier run's files have none.
  std::size_t earlier = 0, collected = 0;
  for (const StagedFile& file : report.staged) {
    earlier += file.earlier_run ? 1 : 0;
    collected += file.source.empty() ? 0 : 1;
  }
  std::string line =
      std::to_string(collected) + (collected == 1 ? " file" : " files") + " collected";
  if (earlier > 0) line += ", " + std::to_string(earlier) + " left by an earlier run";
  const std::vector<std::string> problems = RunProblems(report);
  if (problems.empty()) return line + "; nothing went wrong.";
  return line + "; " + std::to_string(problems.size()) +
         (problems.size() == 1 ? " problem: " : " problems, the first: ") + problems[0];
}

std::string RunReportHtml(const RunContext& context, const RunReport& report,
                          const PagePicture& screenshot) {
  Environment& environment = *context.platform.environment;
  Page page(environment);
  const std::string computer = page.Text(environment.ComputerName());
  const std::string end =
      report.end_time.empty() ? FormatTime(context.platform.clock->Now()) : report.end_time;
  const std::vector<std::string> problems = RunProblems(report);
  page << "<!DOCTYPE html>\n<html><head>\n"
          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\n"
       << "<title>Quillet report of " << computer << ", " << Readable(report.start_time)
       << "</title>\n<style>" << kStyle << "</style>\n</head><body>\n"
       << "<h1>Quillet report of " << computer << "</h1>\n"
       << "<p class=\"summary\"><b>" << computer << "</b> &middot; " << Readable(report.start_time)
       << " to " << Readable(end) << " &middot; Quillet " << ProgramVersion()
       << " &middot; <span class=\"" << (problems.empty() ? "ok" : "bad") << "\">"
       << page.Text(RunOutcome(report)) << "</span></p>\n"
       << "<p class=\"note\">This page was written just before packing: the run then packs "
       << page.Text(context.state.archive_name)
       << ", reads it back, and only then deletes the files of the deletion list. To check a "
          "copy that travelled, run quillet --verify on it.</p>\n"
       << "<h2>What went wrong first</h2>\n";
  if (problems.empty()) {
    page << "<p class=\"ok\">Nothing.</p>\n";
  } else {
    page << "<ul class=\"problems\">\n";
    for (const std::string& problem : problems) page << "<li>" << page.Text(problem) << "</li>\n";
    page << "</ul>\n";
  }
  Screenshot(page, report, screenshot);
  Steps(page, report);
  StartList(page, report);
  CollectedFiles(page, report);
  Deletions(page, report);
  Configuration(page, context, environment);
  page << "</body></html>\n";
  return page.html();
}

}  // namespace quillet
