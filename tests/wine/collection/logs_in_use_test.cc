// Logs that their programs hold open while a run collects them: a log
// opened for writing with read and write sharing is still copied, through a
// handle that shares it; a log locked without sharing cannot be, and the
// journal says so while the run goes on with the others.
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "run_fixture.h"

namespace quillet_test {
namespace {

int FailureLines(const std::string& journal) {
  int count = 0;
  for (std::size_t at = journal.find("Fehler:"); at != std::string::npos;
       at = journal.find("Fehler:", at + 1)) {
    ++count;
  }
  return count;
}

// A free log and one that a test may hold open, both collected by one
// wildcard entry.
class LogsInUseTest : public RunFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RunFixture::SetUp());
    WriteFile("logs\\app.log", "application log\r\n");
    WriteFile("logs\\busy.log", busy_content_);
    WriteSettings("[LogFilesXP]\r\n1=" + Path("logs\\*.log") + "\r\n");
  }

  // Large enough that copying it takes more than one read of a small
  // buffer; the tests that hold it compare the archived size.
  const std::string busy_content_ = std::string(100000, 'w');
};

// Where a plain copy refuses such a log, the run reads it through a handle
// that shares it. Under Wine 8 the plain copy already gets through, so this
// shows the outcome there, not which of the two ways led to it.
TEST_F(LogsInUseTest, LogOpenForWritingWithSharingIsArchivedWhole) {
  ASSERT_TRUE(Hold("logs\\busy.log", "shared"));
  ASSERT_TRUE(RunSucceeds());
  const std::string archive = NewArchive();
  EXPECT_EQ(ArchiveEntry(archive, "busy.log").size, busy_content_.size());
  EXPECT_EQ(ArchiveEntry(archive, "app.log").size, 17u);
  const std::string journal = ReadTextFile(Path("prog\\test.log"));
  EXPECT_EQ(FailureLines(journal), 0) << journal;
}

TEST_F(LogsInUseTest, LogLockedWithoutSharingIsReportedAndTheRunGoesOn) {
  WriteFile("logs\\locked.log", "locked log\r\n");
  ASSERT_TRUE(Hold("logs\\locked.log", "none"));
  ASSERT_TRUE(RunSucceeds());
  const std::string journal = ReadTextFile(Path("prog\\test.log"));
  EXPECT_NE(journal.find("\nFehler:locked.log\r\n"), std::string::npos) << journal;
  EXPECT_EQ(FailureLines(journal), 1) << journal;
  const std::vector<std::string> expected = {"app.log", "busy.log", "Screen.bmp"};
  EXPECT_EQ(ArchiveNames(NewArchive()), expected);
}

}  // namespace
}  // namespace quillet_test
