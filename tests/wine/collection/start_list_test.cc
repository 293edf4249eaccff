// The start list: programs that a run starts one after another and waits
// for, each from its own folder, with its arguments as written; and the time
// limit that ends a program together with everything it started.
#include <windows.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "run_fixture.h"

namespace quillet_test {
namespace {

// The lines of `text`, without their line ends and trailing blanks, which
// the command interpreter's echo may leave.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    line.erase(line.find_last_not_of("\r ") + 1);
    lines.push_back(line);
  }
  return lines;
}

// Three batch files in folders of their own, under list keys 1, 2 and 4;
// each notes in ran.txt that it ran, and the first two note their working
// folder in cwd.txt. The missing key 3 ends the list.
class BatchStartListTest : public RunFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RunFixture::SetUp());
    AddBatch("one", "@echo first>>" + Path("ran.txt") + "\r\n@echo [%1] [%2] [%3]>>" +
                        Path("args.txt") + "\r\n@echo %CD%>>" + Path("cwd.txt") + "\r\n");
    AddBatch("two",
             "@echo second>>" + Path("ran.txt") + "\r\n@echo %CD%>>" + Path("cwd.txt") + "\r\n");
    AddBatch("four", "@echo fourth>>" + Path("ran.txt") + "\r\n");
    WriteSettings("[StartExeFilesXP]\r\n1=" + Path("one\\run.bat") + " alpha -b 42\r\n2=" +
                  Path("two\\run.bat") + "\r\n4=" + Path("four\\run.bat") + "\r\n");
    ASSERT_TRUE(RunSucceeds());
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

using TimeLimitTest = RunFixture;

TEST_F(TimeLimitTest, EndsAProgramThatNeverEndsTogetherWithItsChild) {
  const std::string sleeper = SleeperProgram();
  ASSERT_TRUE(CopyFileA(sleeper.c_str(), Path("visu\\sleeper.exe").c_str(), FALSE)) << sleeper;
  WriteSettings("[StartExeFilesXP]\r\n1=$VisuDir$\\sleeper.exe\r\n", "ProgramTimeout=2\r\n");
  // sleeper.exe writes "<own id> <child's id>" to this file.
  const std::string pid_file = Path("sleeper.pids");
  unsigned long ids[2] = {};
  auto reported = [&] {
    return std::sscanf(ReadTextFile(pid_file).c_str(), "%lu %lu", &ids[0], &ids[1]) == 2;
  };
  const DWORD start = GetTickCount();
  ASSERT_NO_FATAL_FAILURE(Start("x", {"SLEEPER_PID_FILE=" + pid_file}));
  // The two are opened while they run, so that their ids cannot pass to
  // other processes before the test looks; whatever still runs at the end
  // is ended with them.
  WaitUntil([&] { return reported() || !quillet_.running(); }, kTimeoutMs);
  ChildProcess sleepers[2];
  const bool caught = reported() && sleepers[0].Open(ids[0]) && sleepers[1].Open(ids[1]);
  EXPECT_TRUE(EndsWithSuccess());
  EXPECT_LT(GetTickCount() - start, 30000u);
  ASSERT_TRUE(reported()) << "sleeper.exe never reported its process ids";
  // Both ran long enough to be caught alive; otherwise the check below
  // would prove nothing.
  EXPECT_TRUE(caught) << "sleeper.exe or its child had ended before the test looked";
  // Ending a job is not instant; the processes get a moment to go.
  EXPECT_TRUE(sleepers[0].Wait(5000) && sleepers[1].Wait(5000))
      << "sleeper.exe or its child outlived the time limit";
}

}  // namespace
}  // namespace quillet_test
