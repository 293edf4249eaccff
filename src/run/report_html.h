// The run report as one page for people: Quillet-Report.html.
#ifndef QUILLET_RUN_REPORT_HTML_H_
#define QUILLET_RUN_REPORT_HTML_H_

#include <string>
#include <vector>

#include "platform/files.h"
#include "run/report_json.h"

namespace quillet {

// A picture for the page: PNG bytes and the size in pixels; no png for none.
struct PagePicture {
  std::string png;
  int width = 0;
  int height = 0;
};

// The screenshot at `path` (a BMP as the run saves it) as a PNG; none when
// the file is missing or no BMP of that kind. The file stays as it is.
PagePicture ScreenshotPicture(Files& files, const std::string& path);

// What went wrong in the run, one sentence each, in the order of the run:
// steps that failed, the screenshot, programs of the start list that were
// not found, did not start, ran into the time limit or exited with a code
// other than 0, log entries whose search failed or whose folder does not
// exist, files that could not be copied (naming the free-space reserve where
// it stopped the copy), and the debug window. Texts are as the run has them,
// in the system's code page.
std::vector<std::string> RunProblems(const RunReport& report);

// The outcome in one line: how many files the run staged and what went wrong first.
std::string RunOutcome(const RunReport& report);

// The whole page, self-contained: its style is inline, the screenshot is a
// data: URL, and it refers to nothing outside itself, so that it opens from
// the archive in any browser, offline, and reads whole without scripts.
// Every text from the PC is converted to UTF-8 and escaped.
std::string RunReportHtml(const RunContext& context, const RunReport& report,
                          const PagePicture& screenshot);

}  // namespace quillet

#endif  // QUILLET_RUN_REPORT_HTML_H_
