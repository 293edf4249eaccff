// Rotation of the numbered archives when files resist: archives that
// another process holds open without sharing, and more files of slot 9 than
// one run deletes. Each such file costs a message box that halts the run
// until someone presses OK, whether or not the run was started with an
// argument.
#include <windows.h>

#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "run_fixture.h"

namespace quillet_test {
namespace {

std::vector<std::string> InSlot(const std::vector<std::string>& names, char digit) {
  std::vector<std::string> found;
  for (const std::string& name : names) {
    if (!name.empty() && name[0] == digit) found.push_back(name);
  }
  return found;
}

// Nine archives, of which those of slots 9 and 4 are held open without
// sharing while a run without an argument rotates them.
class LockedRotationTest : public RunFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RunFixture::SetUp());
    for (int slot = 1; slot <= 9; ++slot) WriteFile("target\\" + OldArchive(slot, slot), "old");
    WriteSettings("");
    ASSERT_TRUE(Hold("target\\" + OldArchive(9, 9), "none"));
    ASSERT_TRUE(Hold("target\\" + OldArchive(4, 4), "none"));
    ASSERT_NO_FATAL_FAILURE(Start(""));
    texts_ = AnswerBoxesUntilEnd();
  }

  std::vector<std::string> texts_;
};

TEST_F(LockedRotationTest, ReportsEachLockedSlotThenWhereTheArchiveWent) {
  const std::vector<std::string> expected = {
      "Can not delete " + OldArchive(9, 9),
      "Can not copy " + OldArchive(4, 4),
      "File saved in " + Path("target") + "\\" + NewArchive(),
  };
  EXPECT_EQ(texts_, expected);
  EXPECT_EQ(quillet_.exit_code(), kExitOk);
}

TEST_F(LockedRotationTest, LockedFilesKeepTheirNamesWhileTheOthersMoveUp) {
  const std::vector<std::string> names = TargetNames();
  const std::vector<std::string> nines = {OldArchive(9, 8), OldArchive(9, 9)};
  EXPECT_EQ(InSlot(names, '9'), nines);
  const std::vector<std::string> fours = {OldArchive(4, 3), OldArchive(4, 4)};
  EXPECT_EQ(InSlot(names, '4'), fours);
  // The locked archive of slot 4 never reached slot 5, and slot 5's own
  // archive moved on to slot 6.
  EXPECT_TRUE(InSlot(names, '5').empty());
  EXPECT_EQ(InSlot(names, '6'), std::vector<std::string>{OldArchive(6, 5)});
}

using SlotNineTest = RunFixture;

TEST_F(SlotNineTest, DeletesFiveFilesAndHaltsOnTheSixthEvenWithAnArgument) {
  for (int day = 1; day <= 6; ++day) WriteFile("target\\" + OldArchive(9, day), "old");
  WriteSettings("");
  ASSERT_NO_FATAL_FAILURE(Start("x"));
  HWND box = WaitForBox();
  ASSERT_NE(box, nullptr);
  const std::vector<std::string> left = TargetNames();
  ASSERT_EQ(left.size(), 1u) << "five of the six files should be gone";
  EXPECT_EQ(MessageBoxText(box), "Can not delete " + left[0]);
  EXPECT_EQ(WindowTitle(box), "quillet");
  // The screen is taken into the staging folder right after the rotation;
  // while the box shows, the run must not get that far.
  Sleep(1000);
  EXPECT_FALSE(PathExists(Path("target\\Log"))) << "the run went on behind the message";
  CloseBox(box);
  EXPECT_TRUE(EndsWithSuccess());
  EXPECT_TRUE(PathExists(Path("target\\" + left[0])));
}

}  // namespace
}  // namespace quillet_test
