// The start list: programs that a run starts one after another and waits
// for, each from its own folder, with its arguments as written; and the time
// limit that ends a program together with everything it started.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "collection_fixture.h"
#include "gtest/gtest.h"

namespace quillet_test {
namespace {

// The lines of `text`, without their line ends and trailing blanks, which
// the command interpreter's echo may leave.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(from, end - from);
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    lines.push_back(line);
    from = end + 1;
  }
  return lines;
}

// Three batch files in folders of their own, under list keys 1, 2 and 4;
// each notes in ran.txt that it ran, and the first two note their working
// folder in cwd.txt. The missing key 3 ends the list.
class BatchStartListTest : public CollectionFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(CollectionFixture::SetUp());
    AddBatch("one", "@echo first>>" + Path("ran.txt") + "\r\n@echo [%1] [%2] [%3]>>" +
                        Path("args.txt") + "\r\n@echo %CD%>>" + Path("cwd.txt") + "\r\n");
    AddBatch("two",
             "@echo second>>" + Path("ran.txt") + "\r\n@echo %CD%>>" + Path("cwd.txt") + "\r\n");
    AddBatch("four", "@echo fourth>>" + Path("ran.txt") + "\r\n");
    WriteSettings("[StartExeFilesXP]\r\n1=" + Path("one\\run.bat") + " alpha -b 42\r\n2=" +
                  Path("two\\run.bat") + "\r\n4=" + Path("four\\run.bat") + "\r\n");
    ASSERT_NO_FATAL_FAILURE(Start("x"));
    ASSERT_EQ(WaitForEnd(), 0u) << "standard error: " << quillet_.StandardError();
  }

  void AddBatch(const std::string& folder, const std::string& content) {
    ASSERT_TRUE(CreateDirectoryA(Path(folder).c_str(), nullptr)) << Path(folder);
    WriteFile(folder + "\\run.bat", content);
  }
};

TEST_F(BatchStartListTest, RunsTheEntriesInTurnUntilTheFirstMissingKey) {
  const std::vector<std::string> expected = {"first", "second"};
  EXPECT_EQ(Lines(ReadTextFile(Path("ran.txt"))), expected);
}

TEST_F(BatchStartListTest, PassesTheArgumentsAsWritten) {
  const std::vector<std::string> expected = {"[alpha] [-b] [42]"};
  EXPECT_EQ(Lines(ReadTextFile(Path("args.txt"))), expected);
}

TEST_F(BatchStartListTest, RunsEachProgramInItsOwnFolder) {
  const std::vector<std::string> expected = {Path("one"), Path("two")};
  EXPECT_EQ(Lines(ReadTextFile(Path("cwd.txt"))), expected);
}

// Handles to the processes that sleeper.exe reports, opened while they run
// so that their ids cannot pass to other processes before the test looks.
// Whatever still runs at the end is ended by force.
class SleeperWatch {
 public:
  explicit SleeperWatch(const std::string& pid_file) : pid_file_(pid_file) {}
  ~SleeperWatch() {
    for (HANDLE process : processes_) {
      if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) TerminateProcess(process, 255);
      CloseHandle(process);
    }
  }
  SleeperWatch(const SleeperWatch&) = delete;
  SleeperWatch& operator=(const SleeperWatch&) = delete;

  // Reads the ids once the file is there and opens the processes; true
  // once that has happened.
  bool Poll() {
    if (reported_) return true;
    unsigned long ids[2] = {};
    std::FILE* in = std::fopen(pid_file_.c_str(), "rb");
    if (in == nullptr) return false;
    reported_ = std::fscanf(in, "%lu %lu", &ids[0], &ids[1]) == 2;
    std::fclose(in);
    for (unsigned long id : ids) {
      if (!reported_) break;
      // A process that ended already cannot be opened, which is fine.
      HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, id);
      if (process != nullptr) processes_.push_back(process);
    }
    return reported_;
  }

  // How many of the reported processes were opened while they ran.
  std::size_t opened() const { return processes_.size(); }

  // True when every opened process has ended within `timeout_ms`.
  bool AllEnded(DWORD timeout_ms) const {
    for (HANDLE process : processes_) {
      if (WaitForSingleObject(process, timeout_ms) != WAIT_OBJECT_0) return false;
    }
    return true;
  }

 private:
  std::string pid_file_;
  bool reported_ = false;
  std::vector<HANDLE> processes_;
};

class TimeLimitTest : public CollectionFixture {};

TEST_F(TimeLimitTest, EndsAProgramThatNeverEndsTogetherWithItsChild) {
  const std::string sleeper = SleeperProgram();
  ASSERT_TRUE(CopyFileA(sleeper.c_str(), Path("visu\\sleeper.exe").c_str(), FALSE)) << sleeper;
  WriteSettings("[StartExeFilesXP]\r\n1=$VisuDir$\\sleeper.exe\r\n", "ProgramTimeout=2\r\n");
  SleeperWatch watch(Path("sleeper.pids"));
  const DWORD start = GetTickCount();
  ASSERT_NO_FATAL_FAILURE(Start("x", {"SLEEPER_PID_FILE=" + Path("sleeper.pids")}));
  while (!watch.Poll() && quillet_.running() && GetTickCount() - start < kTimeoutMs) Sleep(20);
  EXPECT_EQ(WaitForEnd(), 0u) << "standard error: " << quillet_.StandardError();
  EXPECT_LT(GetTickCount() - start, 30000u);
  ASSERT_TRUE(watch.Poll()) << "sleeper.exe never reported its process ids";
  // Both ran long enough to be caught alive; otherwise the check below
  // would prove nothing.
  EXPECT_EQ(watch.opened(), 2u);
  // Ending a job is not instant; the processes get a moment to go.
  EXPECT_TRUE(watch.AllEnded(5000)) << "sleeper.exe or its child outlived the time limit";
}

}  // namespace
}  // namespace quillet_test
