#include "archive/prepare_target.h"

#include <gtest/gtest.h>

#include "tests/unit/fakes.h"

namespace quillet {
namespace {

using testing::Names;

class PrepareTargetTest : public ::testing::Test {
 protected:
  void AddSlots(int from, int to) {
    for (int d = from; d <= to; ++d) {
      run_.files.AddFile("T:\\Target\\" + std::to_string(d) + "-12.0" + std::to_string(d) +
                         ".26-14.03.09.Zip");
    }
  }
  Names Target() const { return run_.files.List("T:\\Target"); }
  testing::FakeRun run_;
};

TEST_F(PrepareTargetTest, NineArchivesMoveUpAndTheOldestGoes) {
  AddSlots(1, 9);
  PrepareTarget(run_.context);
  EXPECT_EQ(Target(),
            (Names{"2-12.01.26-14.03.09.Zip", "3-12.02.26-14.03.09.Zip", "4-12.03.26-14.03.09.Zip",
                   "5-12.04.26-14.03.09.Zip", "6-12.05.26-14.03.09.Zip", "7-12.06.26-14.03.09.Zip",
                   "8-12.07.26-14.03.09.Zip", "9-12.08.26-14.03.09.Zip"}));
  EXPECT_EQ(run_.context.state.archive_name, "1-03.01.27-09.05.07.Zip");
  EXPECT_TRUE(run_.window.Messages().empty());
  EXPECT_EQ(run_.clock.slept_ms, 900);
}

TEST_F(PrepareTargetTest, DeletesAtMostFiveFilesOfSlotNine) {
  for (const char* name : {"9a", "9b", "9c", "9d", "9e", "9f"})
    run_.files.AddFile("T:\\Target\\" + std::string(name));
  PrepareTarget(run_.context);
  EXPECT_EQ(Target(), Names{"9f"});
  EXPECT_EQ(run_.window.Messages(), Names{"Can not delete 9f"});

  testing::FakeRun five;
  for (const char* name : {"9a", "9b", "9c", "9d", "9e"})
    five.files.AddFile("T:\\Target\\" + std::string(name));
  PrepareTarget(five.context);
  EXPECT_TRUE(five.files.List("T:\\Target").empty());
  EXPECT_TRUE(five.window.Messages().empty());
}

TEST_F(PrepareTargetTest, LockedArchivesAreNamedAndTheRestStillMoves) {
  AddSlots(3, 9);
  run_.files.Lock("T:\\Target\\9-12.09.26-14.03.09.Zip");
  run_.files.Lock("T:\\Target\\4-12.04.26-14.03.09.Zip");
  PrepareTarget(run_.context);
  EXPECT_EQ(run_.window.Messages(), (Names{"Can not delete 9-12.09.26-14.03.09.Zip",
                                           "Can not copy 4-12.04.26-14.03.09.Zip"}));
  EXPECT_TRUE(run_.files.Exists("T:\\Target\\9-12.08.26-14.03.09.Zip"));
  EXPECT_TRUE(run_.files.Exists("T:\\Target\\9-12.09.26-14.03.09.Zip"));
  EXPECT_TRUE(run_.files.Exists("T:\\Target\\4-12.03.26-14.03.09.Zip"));
  EXPECT_TRUE(run_.files.Exists("T:\\Target\\4-12.04.26-14.03.09.Zip"));
}

TEST_F(PrepareTargetTest, StrayNumberedFoldersAreEmptiedAndRemoved) {
  run_.files.AddFolder("T:\\Target\\3-old");
  for (int i = 0; i < 20; ++i) run_.files.AddFile("T:\\Target\\3-old\\f" + std::to_string(i));
  run_.files.AddFolder("T:\\Target\\4-x.Zip");
  run_.files.AddFile("T:\\Target\\1-a.zip.old");
  PrepareTarget(run_.context);
  EXPECT_EQ(Target(), (Names{"2-a.zip.old", "4-x.Zip"}));
}

TEST_F(PrepareTargetTest, AFolderThatCannotBeEmptiedStopsTheScan) {
  run_.files.AddFolder("T:\\Target\\2-big");
  for (int i = 0; i < 21; ++i) run_.files.AddFile("T:\\Target\\2-big\\f" + std::to_string(i));
  run_.files.AddFolder("T:\\Target\\5-later");
  PrepareTarget(run_.context);
  EXPECT_EQ(run_.files.List("T:\\Target\\2-big").size(), 1u);
  EXPECT_TRUE(run_.files.Exists("T:\\Target\\5-later"));
}

TEST_F(PrepareTargetTest, ANumberedFileIsTakenForAFolderThenRenamed) {
  run_.files.AddFile("T:\\Target\\2.log", "keep");
  run_.files.AddFolder("T:\\Target\\6-stray");
  PrepareTarget(run_.context);
  EXPECT_EQ(run_.files.Content("T:\\Target\\3.log"), "keep");
  EXPECT_TRUE(run_.files.Exists("T:\\Target\\6-stray"));  // The scan stopped at 2.log.
}

TEST_F(PrepareTargetTest, CreatesAMissingTargetAndSurvivesAnUnreachableOne) {
  run_.context.state.target_path = "T:\\Target\\New";
  PrepareTarget(run_.context);
  EXPECT_TRUE(run_.files.Exists("T:\\Target\\New"));

  testing::FakeRun broken;
  broken.files.AddFolder("T:\\Target\\3-x");
  broken.files.FailOn("DirFirst", "T:\\TARGET", 3);  // Unreachable once 3-x was found.
  PrepareTarget(broken.context);
  EXPECT_EQ(broken.context.state.archive_name, "1-03.01.27-09.05.07.Zip");
}

TEST(ArchiveNameTest, UsesTwoDigitFieldsAndTheTwentyFourHourClock) {
  EXPECT_EQ(MakeArchiveName({2027, 3, 1, 9, 5, 7}), "1-03.01.27-09.05.07.Zip");
  EXPECT_EQ(MakeArchiveName({2026, 12, 5, 14, 3, 9}), "1-12.05.26-14.03.09.Zip");
}

}  // namespace
}  // namespace quillet
