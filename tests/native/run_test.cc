// Runs the Linux build of quillet over a real folder tree, as a calling
// program would: with an argument, or without one and no terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/native/test_files.h"

namespace {

namespace fs = std::filesystem;

using quillet::native_test::ReadAll;
using quillet::native_test::Write;

class NativeRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = quillet::native_test::NewTestTree(QUILLET_BINARY);
    fs::create_directories(root_ / "visu");
  }
  void TearDown() override { fs::remove_all(root_); }

  // Runs the program with the given name from the prog folder; the standard
  // input is never a terminal, so no message waits for Enter.
  int Run(const std::string& args, const std::string& program = "quillet",
          const std::string& tools = QUILLET_TOOLS_DIR) {
    // Only the screenshot test runs with the display, so that the other
    // archives hold exactly the collected logs.
    const std::string display = with_display_ ? "" : "env -u DISPLAY ";
    const std::string command = "cd " + root_.string() + " && " + display + "MorvaToolsDir='" +
                                tools + "' VisuDir='" + (root_ / "visu").string() + "' prog/" +
                                program + " " + args + " </dev/null >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    out_ = ReadAll(root_ / "out.txt");
    err_ = ReadAll(root_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  std::vector<std::string> Target() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(root_ / "target")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  void WriteFullIni(const std::string& project_extra = "") {
    const std::string r = root_.string();
    Write(root_ / "prog" / "quillet.ini", "[Project]\nTargetPath=" + r + "/target\n" +
                                              project_extra +
                                              "[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n"
                                              "[LogFilesXP]\n1=" +
                                              r +
                                              "/logs/*.log\n2=$VisuDir$\\Task.log\n"
                                              "[LogFilesVW]\n1=" +
                                              r +
                                              "/hmi/Debug?.txt\n"
                                              "[DeleteFilesXP]\n1=" +
                                              r + "/logs/old*.log\n");
    Write(root_ / "logs" / "app.log", "application log\n");
    Write(root_ / "logs" / "old1.log", "old log\n");
    Write(root_ / "hmi" / "Debug1.txt", "debug\n");
  }

  fs::path root_;
  std::string out_, err_;
  bool with_display_ = false;
};

TEST_F(NativeRunTest, OneRunMakesTheRotatedArchive) {
  WriteFullIni();
  for (int d = 1; d <= 9; ++d)
    Write(root_ / "target" / (std::to_string(d) + "-01.0" + std::to_string(d) + ".26-10.00.00.Zip"),
          "old");
  const auto stamp = fs::last_write_time(root_ / "target" / "5-01.05.26-10.00.00.Zip");
  ASSERT_EQ(Run("x"), 0) << err_;
  std::vector<std::string> names = Target();
  ASSERT_EQ(names.size(), 9u);
  EXPECT_EQ(names[0].substr(0, 2), "1-");
  EXPECT_EQ(names[0].size(), 23u);
  EXPECT_EQ(names[1], "2-01.01.26-10.00.00.Zip");
  EXPECT_EQ(names[8], "9-01.08.26-10.00.00.Zip");
  EXPECT_EQ(fs::last_write_time(root_ / "target" / "6-01.05.26-10.00.00.Zip"), stamp);
  const std::string listing = root_.string() + "/list.txt";
  ASSERT_EQ(std::system(
                ("unzip -Z1 " + (root_ / "target" / names[0]).string() + " > " + listing).c_str()),
            0);
  EXPECT_EQ(ReadAll(listing), "app.log\nDebug1.txt\nold1.log\nTask.log\n");
  EXPECT_FALSE(fs::exists(root_ / "logs" / "old1.log"));
  EXPECT_TRUE(fs::exists(root_ / "logs" / "app.log"));
  EXPECT_EQ(ReadAll(root_ / "prog" / "test.log"), "app.log\r\nTask.log\r\nDebug1.txt\r\n");
  EXPECT_NE(ReadAll(root_ / "visu" / "Task.log").find("quillet"), std::string::npos);
  EXPECT_TRUE(out_.empty());
}

TEST_F(NativeRunTest, RotationClearsStrayFoldersAndLeavesZipNamesAlone) {
  WriteFullIni();
  for (int i = 0; i < 3; ++i) Write(root_ / "target" / "3-old" / ("f" + std::to_string(i)), "x");
  for (int i = 0; i < 21; ++i) Write(root_ / "target" / "5-big" / ("f" + std::to_string(i)), "x");
  Write(root_ / "target" / "7-later" / "f", "x");
  Write(root_ / "target" / "2-a.zip.old", "kept");
  fs::create_directories(root_ / "target" / "4-x.Zip");
  for (const char* name : {"9a", "9b", "9c", "9d", "9e", "9f"}) Write(root_ / "target" / name, "9");
  ASSERT_EQ(Run("x"), 0) << err_;
  const std::vector<std::string> names = Target();
  ASSERT_EQ(names.size(), 6u);
  EXPECT_EQ(names[0].substr(0, 2), "1-");  // The new archive.
  EXPECT_EQ(std::vector<std::string>(names.begin() + 1, names.end()),
            (std::vector<std::string>{"3-a.zip.old", "4-x.Zip", "5-big", "7-later", "9f"}));
  EXPECT_EQ(
      std::distance(fs::directory_iterator(root_ / "target" / "5-big"), fs::directory_iterator()),
      1);
}

TEST_F(NativeRunTest, WithoutArgumentTheClosingMessageNamesTheArchive) {
  WriteFullIni();
  ASSERT_EQ(Run(""), 0) << err_;
  const std::vector<std::string> names = Target();
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(out_, "File saved in " + root_.string() + "/target\\" + names[0] + "\n");
  EXPECT_NE(err_.find("Quillet: Taskmanager\nQuillet: Exe\nQuillet: Reading Windows\n"
                      "Quillet: DebugWin\nQuillet: Copying Logs LogFilesXP\n"
                      "Quillet: Copying Logs LogFilesVW\nQuillet: Zipping Logs\n"
                      "Quillet: Deleting Logs\nQuillet: OK\n"),
            std::string::npos)
      << err_;
}

TEST_F(NativeRunTest, WithoutTargetPathNothingIsTouched) {
  EXPECT_EQ(Run("x"), 2);
  EXPECT_NE(err_.find((root_ / "prog").string() + "\\quillet.ini"), std::string::npos) << err_;
  EXPECT_NE(err_.find("TargetPath"), std::string::npos);
  EXPECT_FALSE(fs::exists(root_ / "visu" / "Task.bat"));
  EXPECT_FALSE(fs::exists(root_ / "prog" / "test.log"));
}

TEST_F(NativeRunTest, ARenamedCopyReadsItsOwnSettings) {
  fs::copy_file(root_ / "prog" / "quillet", root_ / "prog" / "other");
  Write(root_ / "prog" / "other.ini", "[project]\ntargetpath = \"" + root_.string() + "/out\"\n");
  EXPECT_EQ(Run("x", "other"), 0) << err_;
  EXPECT_TRUE(fs::exists(root_ / "out"));
  EXPECT_EQ(Run("x", "quillet"), 2);
}

TEST_F(NativeRunTest, AMissingPackerKeepsEverythingCollected) {
  WriteFullIni();
  fs::create_directories(root_ / "notools");
  EXPECT_EQ(Run("x", "quillet", (root_ / "notools").string()), 3);
  EXPECT_TRUE(fs::exists(root_ / "target" / "Log" / "app.log"));
  EXPECT_TRUE(fs::exists(root_ / "target" / "Log" / "Debug1.txt"));
  EXPECT_TRUE(fs::exists(root_ / "logs" / "old1.log"));  // Never archived, so not deleted.
  EXPECT_NE(err_.find("No archive was made"), std::string::npos) << err_;
}

TEST_F(NativeRunTest, AReportInTheArchiveWhenAskedFor) {
  WriteFullIni("Report=true\n");
  ASSERT_EQ(Run("x"), 0) << err_;
  const std::string archive = (root_ / "target" / Target()[0]).string();
  const std::string script =
      "import json, sys, zipfile\n"
      "r = json.loads(zipfile.ZipFile(sys.argv[1]).read('Quillet-Report.json'))\n"
      "assert r['program']['name'] == 'Quillet', r\n"
      "assert [p['matches'] for p in r['log_patterns']] == [2, 1, 1], r['log_patterns']\n"
      "assert r['start_programs'][0]['exit_code'] == 0, r['start_programs']\n"
      "assert r['delete_patterns'][0]['matches'] == 1\n"
      "assert len(r['directory_variables']) == 12\n";
  Write(root_ / "check.py", script);
  EXPECT_EQ(std::system(("python3 " + (root_ / "check.py").string() + " " + archive).c_str()), 0);
}

TEST_F(NativeRunTest, SettingsCheckChangesNothingAndNamesProblems) {
  WriteFullIni();
  std::ofstream(root_ / "prog" / "quillet.ini", std::ios::app)
      << "[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n";
  EXPECT_EQ(Run("--check"), 4) << out_;  // Task.bat does not exist before a run.
  EXPECT_NE(out_.find("Settings file: " + (root_ / "prog").string() + "\\quillet.ini"),
            std::string::npos)
      << out_;
  EXPECT_NE(out_.find("matches 2 files"), std::string::npos) << out_;
  EXPECT_NE(out_.find("NOT FOUND"), std::string::npos);
  EXPECT_FALSE(fs::exists(root_ / "visu" / "Task.bat"));
  EXPECT_FALSE(fs::exists(root_ / "target"));
  EXPECT_EQ(Run("--version"), 0);
  EXPECT_EQ(out_.rfind("Quillet ", 0), 0u) << out_;
}

TEST_F(NativeRunTest, UnderAnXDisplayTheArchiveHoldsAScreenshotOfItsSize) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    if (std::getenv("CI") != nullptr)
      FAIL() << "CI runs this test under xvfb-run; DISPLAY is unset";
    GTEST_SKIP() << "no X display (run under xvfb-run)";
  }
  with_display_ = true;
  WriteFullIni();
  ASSERT_EQ(Run("x"), 0) << err_;
  const std::string archive = (root_ / "target" / Target()[0]).string();
  const std::string size = (root_ / "size.txt").string();
  ASSERT_EQ(std::system(("cd " + root_.string() + " && unzip -o -q " + archive + " Screen.bmp && " +
                         "identify -format '%w %h\\n' Screen.bmp > " + size + " && xdpyinfo | " +
                         "awk '/dimensions:/ {split($2, d, \"x\"); print d[1], d[2]}' >> " + size)
                            .c_str()),
            0);
  std::istringstream figures(ReadAll(size));
  int width = 0, height = 0, screen_width = -1, screen_height = -1;
  figures >> width >> height >> screen_width >> screen_height;
  EXPECT_GT(width, 0);
  EXPECT_EQ(width, screen_width);
  EXPECT_EQ(height, screen_height);
}

}  // namespace
