// The report page and its picture: the screenshot file written whole and decoded back from its
// PNG byte by byte, the page's sections in their order, what it highlights, and that no text from
// the PC changes it.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <zlib.h>

#include <csignal>
#include <filesystem>
#include <system_error>

#include "platform/bmp.h"
#include "run/report_html.h"
#include "tests/fakes/fakes.h"
#include "tests/support/files_and_zips.h"
#include "zip/png_writer.h"

namespace quillet {
namespace {

std::uint32_t Big32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i)
    value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// The IHDR fields and the inflated rows of a PNG of `width` by `height` RGB pixels; each chunk
// is checked against its CRC-32.
std::string Decode(const std::string& png, std::uint32_t width, std::uint32_t height) {
  EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
  std::vector<std::pair<std::string, std::string>> chunks;
  for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + Big32(png, at)) {
    const std::string typed = png.substr(at + 4, 4 + Big32(png, at));
    EXPECT_EQ(Big32(png, at + 4 + typed.size()),
              crc32(0, reinterpret_cast<const Bytef*>(typed.data()), typed.size()));
    chunks.push_back({typed.substr(0, 4), typed.substr(4)});
  }
  EXPECT_EQ(chunks.size(), 3u);
  if (chunks.size() != 3) return "";
  EXPECT_EQ(chunks[0].first + chunks[1].first + chunks[2].first + chunks[2].second, "IHDRIDATIEND");
  EXPECT_EQ(Big32(chunks[0].second, 0), width);
  EXPECT_EQ(Big32(chunks[0].second, 4), height);
  EXPECT_EQ(chunks[0].second.substr(8), std::string("\x08\x02\x00\x00\x00", 5));  // 8-bit RGB.
  uLongf size = height * (1 + 3 * width) + 1;
  std::string rows(size, '\0');
  EXPECT_EQ(
      uncompress(reinterpret_cast<Bytef*>(&rows[0]), &size,
                 reinterpret_cast<const Bytef*>(chunks[1].second.data()), chunks[1].second.size()),
      Z_OK);
  rows.resize(size);
  return rows;
}

TEST(ReportPictureTest, TheScreenshotIsWrittenWholeAndBecomesAPngOfItsPixelsAtItsSize) {
  // Two rows of three pixels, stored bottom row first in blue, green, red, each row padded.
  const std::vector<std::uint8_t> bmp_rows = {1,  2,  3,  4,  5,  6,  7,  8,  9,  0, 0, 0,
                                              10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
  const std::string path = ::testing::TempDir() + "/quillet-report-test.bmp";
  ASSERT_FALSE(WriteBmp(path, 3, 2, bmp_rows));
  const std::string bmp = test_support::ReadAll(path);
  // Every header field: sizes, the pixels' offset, 24 bits, 96 dpi; then the pixels as given.
  using testing::fake_detail::Le;
  EXPECT_EQ(bmp, "BM" + Le(78, 4) + Le(0, 4) + Le(54, 4) + Le(40, 4) + Le(3, 4) + Le(2, 4) +
                     Le(1, 2) + Le(24, 2) + Le(0, 4) + Le(24, 4) + Le(3780, 4) + Le(3780, 4) +
                     Le(0, 8) + std::string(bmp_rows.begin(), bmp_rows.end()));
  EXPECT_TRUE(WriteBmp(path, 0, 3, {}));
  // A disk that takes only part of the picture, or a folder in its way, keeps no temporary file.
  rlimit before;
  getrlimit(RLIMIT_FSIZE, &before);
  const rlimit small = {40, before.rlim_max};
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);  // A write then fails instead.
  setrlimit(RLIMIT_FSIZE, &small);
  const std::error_code cut_short = WriteBmp(path + "2", 3, 2, bmp_rows);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, handler);
  EXPECT_TRUE(cut_short);
  std::filesystem::create_directories(path + "3/in the way");
  EXPECT_TRUE(WriteBmp(path + "3", 3, 2, bmp_rows));
  for (const char* name : {"2.tmp", "3.tmp"}) EXPECT_FALSE(std::filesystem::exists(path + name));
  for (const char* name : {"", "2", "3"}) std::filesystem::remove_all(path + name);
  testing::FakeFiles files;
  files.AddFile("T:\\Screen.bmp", bmp);
  const PagePicture picture = ScreenshotPicture(files, "T:\\Screen.bmp");
  EXPECT_EQ(picture.width * 10 + picture.height, 32);
  EXPECT_EQ(
      Decode(picture.png, 3, 2),
      std::string("\0\x0c\x0b\x0a\x0f\x0e\x0d\x12\x11\x10\0\x03\x02\x01\x06\x05\x04\x09\x08\x07",
                  20));
  // Sizes beyond 16 bits are written whole.
  EXPECT_EQ(Decode(EncodePng(70000, 1, std::vector<std::uint8_t>(210000, 7)), 70000, 1),
            std::string(1, '\0') + std::string(210000, 7));
  EXPECT_EQ(EncodePng(2, 2, std::vector<std::uint8_t>(11)), "");
  // A file that is cut short, of another kind, or missing gives no picture and no crash.
  files.AddFile("T:\\Cut.bmp", bmp.substr(0, bmp.size() - 1));
  std::string other = bmp;
  other[28] = 32;  // Bits per pixel.
  files.AddFile("T:\\Other.bmp", other);
  for (const char* name : {"T:\\Cut.bmp", "T:\\Other.bmp", "T:\\None.bmp"})
    EXPECT_EQ(ScreenshotPicture(files, name).png, "") << name;
}

TEST(ReportPageTest, ThePageTellsTheRunInOrderHighlightsTheProblemsAndEscapesThePcsTexts) {
  testing::FakePlatform fake;
  RunContext context;
  context.platform = fake.platform;
  SetProgramLocation("C:\\Tools\\quillet.exe", &context);
  ASSERT_FALSE(Configure(context));
  context.state.archive_name = "1-01.03.27-09.05.07.Zip";
  RunReport report;
  report.start_time = "2027-03-01T09:05:07";
  report.end_time = "2027-03-01T09:05:09";
  report.steps = {{"CollectLogFiles LogFilesXP", "failed", 1000}, {"PackLogs", "pending", 0}};
  report.programs = {{"C:\\a.exe \"x<y>\" 'z'", false, false, false, 0, 0, false},
                     {"C:\\b.exe", true, true, true, 3, 20, false},
                     {"C:\\c.exe", true, true, false, 0, 5000, true}};
  const std::string no_space = std::make_error_code(std::errc::no_space_on_device).message();
  const std::string gone = "C:\\V\\gone\\*.log";
  report.log_patterns = {
      {"LogFilesXP", "$VisuDir$\\gone\\*.log", gone, 0, {{gone, "folder not found"}}},
      {"LogFilesXP", "D:\\*.log", "D:\\*.log", 3, {{"D:\\big.log", no_space}}}};
  report.min_free_mb = 5;
  report.staged = {{"D:\\comm<plc>.log", "comm<plc>.log", 1536, {}, 0xe8b7be43, "", false},
                   {"D:\\a & b.log", "a & b (2).log", 5 << 20, {}, 1, "a & b.log before", false},
                   {"", "old.log", 1, {}, 2, "", true},
                   {"", "Screen.bmp", 3, {}, 4, "", false}};
  report.delete_patterns = {{"DeleteFilesXP", "D:\\*.log", "D:\\*.log", 0, {}}};
  report.planned_deletions = {{{"D:\\comm<plc>.log", true, false},
                               {"D:\\big.log", false, true},
                               {"D:\\x.log", false, false}}};
  report.screenshot = "direct";
  report.screenshot_name = "Screen.bmp";
  report.own_files = {"Quillet-Report.json"};
  const std::string html = RunReportHtml(context, report, {"PNG!", 1024, 768});

  std::size_t at = 0;
  for (const char* part :
       {"<h1>Quillet report of HMI-PC",
        "HMI-PC</b> &middot; 2027-03-01 09:05:07 to 2027-03-01 09:05:09 &middot; Quillet 1.0",
        "2 files collected, 1 left by an earlier run; 7 problems, the first: The step",
        "What went wrong first",
        "<ul class=\"problems\">",
        "The program C:\\a.exe &quot;x&lt;y&gt;&quot; &#39;z&#39; was not found",
        "C:\\b.exe exited with code 3",
        "C:\\c.exe was ended at the time limit after 5.0 s",
        "$VisuDir$\\gone\\*.log (C:\\V\\gone\\*.log): its folder does not exist",
        "D:\\big.log was not copied: it would have left less than the free-space reserve of 5 MiB",
        "debug window was not found",
        "</ul>",
        "src=\"data:image/png;base64,UE5HIQ==\" width=\"1024\" height=\"768\"",
        "<h2>Steps",
        "1.0 s, failed",
        "after this page was written",
        "<h2>Start list",
        "<h2>Collected files",
        "comm&lt;plc&gt;.log</td><td>D:\\comm&lt;plc&gt;.log",
        "1.5 KiB",
        "e8b7be43",
        "a &amp; b (2).log",
        "5.0 MiB",
        "a &amp; b.log before",
        "<td>yes</td>",
        "Screen.bmp</td><td>written by this run",
        "Quillet-Report.json",
        "<h2>Deletion list",
        "after the archive is sealed",
        "D:\\comm&lt;plc&gt;.log: deleted once",
        "D:\\big.log: kept",
        "D:\\x.log: deleted, though no archive holds it",
        "<h2>Directory variables",
        "$VisuDir$",
        "XP, ",
        "C:\\Tools\\quillet.ini"}) {
    const std::size_t found = html.find(part, at);
    EXPECT_NE(found, std::string::npos) << part << "\n" << html.substr(at);
    if (found != std::string::npos) at = found;
  }
  for (const char* raw : {"comm<plc>", "a & b", "<y>", "://", "href="})
    EXPECT_EQ(html.find(raw), std::string::npos) << raw;

  report.screenshot = "none";
  report.screenshot_name.clear();
  EXPECT_NE(
      RunReportHtml(context, report, {}).find("<p class=\"bad\">No screenshot was taken.</p>"),
      std::string::npos);
}

}  // namespace
}  // namespace quillet
