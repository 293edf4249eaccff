// One complete run with an argument over a tree like the one of the native
// end-to-end test: nine archives in the target folder, the task batch in the
// start list, logs of both lists with wildcards, and a deletion list.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "run_fixture.h"

namespace quillet_test {
namespace {

// Distinct last-write times for the old archives, an hour apart, so that a
// file that was copied instead of renamed would show.
constexpr std::uint64_t kFirstOldTime = 132000000000000000ULL;
constexpr std::uint64_t kHour = 36000000000ULL;
// The run's clock and the test's are read a moment apart; one second of
// slack on either side covers that.
constexpr std::uint64_t kSecond = 10000000ULL;

std::uint64_t OldTime(int day) { return kFirstOldTime + static_cast<std::uint64_t>(day) * kHour; }

std::uint64_t Count(const FILETIME& time) {
  return static_cast<std::uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}

std::uint64_t LastWriteTime(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return Count(data.ftLastWriteTime);
}

bool SetLastWriteTime(const std::string& path, std::uint64_t time) {
  HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME stamp = {static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
  const BOOL ok = SetFileTime(file, nullptr, nullptr, &stamp);
  CloseHandle(file);
  return ok != FALSE;
}

// A local time as a count that can be compared; 0 for an invalid time.
std::uint64_t LocalCount(const SYSTEMTIME& time) {
  FILETIME stamp;
  return SystemTimeToFileTime(&time, &stamp) ? Count(stamp) : 0;
}

std::uint64_t LocalNow() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return LocalCount(now);
}

// The moment that an archive name "1-MM.DD.YY-hh.mm.ss.Zip" stands for, or
// 0 when the name does not have that form.
std::uint64_t MomentOfName(const std::string& name) {
  unsigned month = 0, day = 0, year = 0, hour = 0, minute = 0, second = 0;
  char tail[8] = {};
  if (name.size() != 23 ||
      std::sscanf(name.c_str(), "1-%2u.%2u.%2u-%2u.%2u.%2u.%3s", &month, &day, &year, &hour,
                  &minute, &second, tail) != 7 ||
      std::string(tail) != "Zip") {
    return 0;
  }
  SYSTEMTIME time = {};
  time.wYear = static_cast<WORD>(2000 + year);
  time.wMonth = static_cast<WORD>(month);
  time.wDay = static_cast<WORD>(day);
  time.wHour = static_cast<WORD>(hour);
  time.wMinute = static_cast<WORD>(minute);
  time.wSecond = static_cast<WORD>(second);
  return LocalCount(time);
}

// The name that a search for `pattern` meets first, as the run's own
// search will: Wine lists a folder in the order of the file system.
std::string FirstMatch(const std::string& pattern) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return "";
  FindClose(search);
  return entry.cFileName;
}

class FullRunTest : public RunFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RunFixture::SetUp());
    ASSERT_TRUE(CreateDirectoryA(Path("hmi").c_str(), nullptr));
    WriteFile("logs\\app.log", "application log\r\n");
    WriteFile("logs\\old1.log", "old log\r\n");
    WriteFile("hmi\\Debug1.txt", "debug\r\n");
    WriteFile("prog\\test.log", "earlier run\r\n");
    for (int slot = 1; slot <= 9; ++slot) {
      const std::string archive = "target\\" + OldArchive(slot, slot);
      WriteFile(archive, "old");
      ASSERT_TRUE(SetLastWriteTime(Path(archive), OldTime(slot))) << archive;
    }
    WriteSettings(
        "[StartExeFilesXP]\r\n1=$VisuDir$\\Task.bat\r\n[LogFilesXP]\r\n1=" + Path("logs\\*.log") +
        "\r\n2=$VisuDir$\\Task.log\r\n[LogFilesVW]\r\n1=" + Path("hmi\\Debug?.txt") +
        "\r\n[DeleteFilesXP]\r\n1=" + Path("logs\\old*.log") + "\r\n");
    first_log_ = FirstMatch(Path("logs\\*.log"));
    started_ = LocalNow();
    const ::testing::AssertionResult ran = RunSucceeds();
    ended_ = LocalNow();
    ASSERT_TRUE(ran);
  }

  std::string first_log_;
  std::uint64_t started_ = 0;
  std::uint64_t ended_ = 0;
};

TEST_F(FullRunTest, RaisesEverySlotByOneAndKeepsTheLastWriteTimes) {
  EXPECT_EQ(TargetNames().size(), 9u);
  EXPECT_FALSE(PathExists(Path("target\\" + OldArchive(9, 9))));
  for (int day = 1; day <= 8; ++day) {
    const std::string moved = Path("target\\" + OldArchive(day + 1, day));
    EXPECT_TRUE(PathExists(moved)) << moved;
    EXPECT_EQ(LastWriteTime(moved), OldTime(day)) << moved;
  }
}

TEST_F(FullRunTest, NamesTheNewArchiveAfterTheMomentOfTheRun) {
  const std::string archive = NewArchive();
  EXPECT_EQ(archive.size(), 23u) << archive;
  const std::uint64_t moment = MomentOfName(archive);
  ASSERT_NE(moment, 0u) << "not of the form 1-MM.DD.YY-hh.mm.ss.Zip: " << archive;
  // The name has whole seconds, so the run's start counts from its second.
  EXPECT_GE(moment + kSecond, started_) << archive;
  EXPECT_LE(moment, ended_ + kSecond) << archive;
}

TEST_F(FullRunTest, ArchiveHoldsTheLogsTheTaskListAndTheScreen) {
  const std::vector<std::string> expected = {"app.log", "Debug1.txt", "old1.log", "Screen.bmp",
                                             "Task.log"};
  EXPECT_EQ(ArchiveNames(NewArchive()), expected);
  // The staging folder goes once the archive is there.
  EXPECT_FALSE(PathExists(Path("target\\Log")));
}

TEST_F(FullRunTest, ScreenshotCoversTheWholeScreen) {
  const std::uint64_t width = static_cast<std::uint64_t>(GetSystemMetrics(SM_CXSCREEN));
  const std::uint64_t height = static_cast<std::uint64_t>(GetSystemMetrics(SM_CYSCREEN));
  // A 24-bit BMP: both headers, then rows padded to four bytes.
  const std::uint64_t expected_size = 14 + 40 + (width * 3 + 3) / 4 * 4 * height;
  EXPECT_EQ(ArchiveEntry(NewArchive(), "Screen.bmp").size, expected_size);
}

TEST_F(FullRunTest, AppendsTheJournalAndDeletesTheListedFiles) {
  // One line per list entry, naming the entry's first match.
  EXPECT_EQ(ReadTextFile(Path("prog\\test.log")),
            "earlier run\r\n" + first_log_ + "\r\nTask.log\r\nDebug1.txt\r\n");
  EXPECT_FALSE(PathExists(Path("logs\\old1.log")));
  EXPECT_TRUE(PathExists(Path("logs\\app.log")));
  EXPECT_TRUE(PathExists(Path("hmi\\Debug1.txt")));
}

TEST_F(FullRunTest, TaskBatchListsTheProcessesUnderAHeader) {
  EXPECT_EQ(ReadTextFile(Path("visu\\Task.bat")),
            ToolsFolder() + "\\Quillet\\PStatXP.exe > " + Path("visu\\Task.log") + "\r\n");
  const std::string listing = ReadTextFile(Path("visu\\Task.log"));
  EXPECT_EQ(listing.compare(0, 4, "PID\t"), 0) << listing.substr(0, 200);
  EXPECT_TRUE(ContainsNoCase(listing, "quillet.exe")) << listing;
}

}  // namespace
}  // namespace quillet_test
