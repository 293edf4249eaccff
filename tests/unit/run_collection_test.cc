#include "run/run_collection.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/fakes.h"

namespace quillet {
namespace {

class RunCollectionTest : public ::testing::Test {
 protected:
  RunCollectionTest() {
    run_.settings.Set("C:\\Tools\\quillet.ini", "Project", "TargetPath", "T:\\Target");
    run_.PackerMakesArchives();
  }
  bool Saw(const std::string& event) const {
    const auto& e = run_.window.events;
    return std::find(e.begin(), e.end(), event) != e.end();
  }
  testing::FakeRun run_;
};

TEST_F(RunCollectionTest, ReadsTheSettingsFileNamedAfterTheProgram) {
  SetProgramLocation("D:\\Tools\\Other.exe", &run_.context);
  run_.settings.Set("D:\\Tools\\Other.ini", "project", "targetpath", "E:\\Out");
  EXPECT_EQ(RunCollection(run_.context), kExitOk);
  EXPECT_EQ(run_.context.state.ini_path, "D:\\Tools\\Other.ini");
  EXPECT_EQ(run_.context.state.target_path, "E:\\Out");
}

TEST_F(RunCollectionTest, EndsShownTopmostAtTheCornerWithTheClosingMessage) {
  EXPECT_EQ(RunCollection(run_.context), kExitOk);
  const auto& e = run_.window.events;
  auto tail = std::vector<std::string>(e.end() - 6, e.end());
  EXPECT_EQ(tail[0], "Front");
  EXPECT_EQ(tail[1], "Hide");
  EXPECT_EQ(tail[2], "Label:OK");
  EXPECT_EQ(tail[3], "Yield");
  EXPECT_EQ(tail[4], "Place:0,0,398,87");  // 5970 x 1305 twips at 15 per pixel.
  EXPECT_EQ(tail[5].rfind("Message:File saved in T:\\Target\\", 0), 0u) << tail[5];
  EXPECT_GE(run_.clock.slept_ms, 100);
}

TEST_F(RunCollectionTest, AnArgumentSuppressesTheClosingMessage) {
  run_.context.interactive = false;
  EXPECT_EQ(RunCollection(run_.context), kExitOk);
  EXPECT_TRUE(run_.window.Messages().empty());
  EXPECT_TRUE(Saw("Place:0,0,398,87"));
}

TEST_F(RunCollectionTest, WithoutTargetPathNothingIsDoneAndTheKeyIsNamed) {
  run_.files.AddFile("C:\\Tools\\quillet.ini");
  run_.settings.Set("C:\\Tools\\quillet.ini", "Project", "TargetPath", "");
  EXPECT_EQ(RunCollection(run_.context), kExitNoTargetPath);
  ASSERT_EQ(run_.window.events.size(), 1u);
  EXPECT_NE(run_.window.events[0].find("C:\\Tools\\quillet.ini"), std::string::npos);
  EXPECT_NE(run_.window.events[0].find("TargetPath"), std::string::npos);
  for (const std::string& call : run_.files.log) EXPECT_EQ(call.rfind("FileSize", 0), 0u);
}

TEST_F(RunCollectionTest, APlaceholderCycleEndsTheRunWithItsDescription) {
  run_.environment.variables["VisuDir"] = "$VisuDir$\\x";
  EXPECT_EQ(RunCollection(run_.context), kExitRunError);
  ASSERT_EQ(run_.window.events.size(), 1u);
  EXPECT_EQ(run_.window.events[0].rfind("Error:The placeholder $VisuDir$", 0), 0u);
}

}  // namespace
}  // namespace quillet
