// quillet.exe under Wine, started as a scheduler or a technician would: one
// whole collection on a desktop with the stand-in HMI, a packer that fails
// half-way, and the runs that must change nothing.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "harness.h"

namespace wine_test {
namespace {

std::string OldArchive(int slot, int day) {
  return std::to_string(slot) + "-01.0" + std::to_string(day) + ".26-10.00.00.Zip";
}

using WineRunTest = WineTest;

TEST_F(WineRunTest, AWholeCollectionAroundLockedFilesAndTheHmi) {
  for (int slot = 1; slot <= 9; ++slot) Write(Path("target\\" + OldArchive(slot, slot)), "old");
  for (const char* log : {"app.log", "busy.log", "locked.log", "old1.log"}) {
    Write(Path(std::string("logs\\") + log), std::string(log) + " content\r\n");
  }
  HoldOpen("target\\" + OldArchive(9, 9), false);
  HoldOpen("target\\" + OldArchive(4, 4), false);
  HoldOpen("logs\\busy.log", true);
  HoldOpen("logs\\locked.log", false);
  Program hmi;
  ASSERT_TRUE(hmi.Start("\"" + WinePath(STAND_IN_HMI) + "\" \"" + root_ + "\"", root_, {},
                        Path("hmi.txt")));
  for (int i = 0; i < 600 && ReadAll(Path("hmi_ready.txt")).empty(); ++i) Sleep(50);
  WriteSettings(
      "[StartExeFilesXP]\r\n1=$VisuDir$\\Task.bat\r\n[LogFilesXP]\r\n1=" + Path("logs\\*.log") +
          "\r\n2=$VisuDir$\\Task.log\r\n[DeleteFilesXP]\r\n1=" + Path("logs\\old*.log") + "\r\n",
      "Report=true\r\n");
  ASSERT_NO_FATAL_FAILURE(Start(""));
  const std::vector<std::string> boxes = AnswerBoxes();
  const std::string archive = NewArchive();
  EXPECT_EQ(boxes, (std::vector<std::string>{"Can not delete " + OldArchive(9, 9),
                                             "Can not copy " + OldArchive(4, 4),
                                             "File saved in " + Path("target\\" + archive)}));
  EXPECT_EQ(run_.ExitCode(), 0u) << run_.Output();

  // The locked archives keep their names, the others moved up one slot.
  const std::vector<std::string> names = List(Path("target"));
  for (const std::string& name : {OldArchive(9, 9), OldArchive(9, 8), OldArchive(4, 4),
                                  OldArchive(4, 3), OldArchive(6, 5), OldArchive(2, 1)}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  std::map<std::string, std::string> entries = ReadZip(Path("target\\" + archive));
  EXPECT_EQ(entries["app.log"], "app.log content\r\n");
  EXPECT_EQ(entries["busy.log"], "busy.log content\r\n");
  EXPECT_EQ(entries.count("locked.log"), 0u);
  EXPECT_NE(entries["Task.log"].find("quillet.exe"), std::string::npos) << entries["Task.log"];
  EXPECT_NE(entries["Quillet-Report.json"].find("\"second_click_sent\": true"), std::string::npos);
  const std::string& bmp = entries["Screen.bmp"];
  ASSERT_GE(bmp.size(), 26u) << "no screenshot";
  int size[2] = {};
  std::memcpy(size, bmp.data() + 18, sizeof(size));
  EXPECT_EQ(size[0], GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(size[1], GetSystemMetrics(SM_CYSCREEN));
  EXPECT_EQ(
      ReadAll(Path("visu\\Task.bat")),
      WinePath(QUILLET_TOOLS_DIR) + "\\Quillet\\PStatXP.exe > " + Path("visu\\Task.log") + "\r\n");
  EXPECT_NE(ReadAll(Path("prog\\test.log")).find("\r\nFehler:locked.log\r\n"), std::string::npos);
  EXPECT_EQ(GetFileAttributesA(Path("logs\\old1.log").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(Path("target\\Log").c_str()), INVALID_FILE_ATTRIBUTES);

  // The HMI got its two clicks where its buttons are, and saved.
  int debug_x = 0, debug_y = 0, dialog_x = 0, dialog_y = 0;
  EXPECT_EQ(std::sscanf(ReadAll(Path("hmi_clicks.txt")).c_str(), "debug %d %d dialog %d %d",
                        &debug_x, &debug_y, &dialog_x, &dialog_y),
            4)
      << ReadAll(Path("hmi_clicks.txt"));
  EXPECT_NEAR(debug_x, 176, 2);
  EXPECT_NEAR(debug_y, 480 - 20, 2);
  EXPECT_NEAR(dialog_x, 92, 2);
  EXPECT_NEAR(dialog_y, 72, 2);
  EXPECT_EQ(ReadAll(Path("hmi_saved.txt")), "debug line 1\r\ndebug line 2\r\n");
}

TEST_F(WineRunTest, APackerThatFailsHalfWayLeavesEverythingWhereItWas) {
  CreateDirectoryA(Path("tools").c_str(), nullptr);
  CreateDirectoryA(Path("tools\\Quillet").c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(WinePath(BAD_PACKER).c_str(), Path("tools\\Quillet\\Zip.exe").c_str(), 0));
  Write(Path("logs\\app.log"), "app");
  WriteSettings("[LogFilesXP]\r\n1=" + Path("logs\\*.log") +
                "\r\n[DeleteFilesXP]\r\n1=" + Path("logs\\*.log") + "\r\n");
  ASSERT_NO_FATAL_FAILURE(Start("auto", {"MorvaToolsDir=" + Path("tools")}));
  EXPECT_EQ(End(), 3u);
  EXPECT_NE(run_.Output().find("No archive was made: the packer " +
                               Path("tools\\Quillet\\Zip.exe") + " ended with exit code 1"),
            std::string::npos)
      << run_.Output();
  EXPECT_EQ(ReadAll(Path("logs\\app.log")), "app");
  EXPECT_EQ(ReadAll(Path("target\\Log\\app.log")), "app");
}

TEST_F(WineRunTest, OptionsRefusalsAndASecondRunChangeNothing) {
  for (const char* option : {"/?", "--help"}) {
    ASSERT_NO_FATAL_FAILURE(Start(option));
    EXPECT_EQ(End(), 0u);
    EXPECT_NE(run_.Output().find("Exit codes:"), std::string::npos) << run_.Output();
  }
  ASSERT_NO_FATAL_FAILURE(Start("x"));
  EXPECT_EQ(End(), 2u);
  EXPECT_NE(run_.Output().find(Path("prog\\quillet.ini")), std::string::npos) << run_.Output();
  EXPECT_EQ(List(Path("visu")).size() + List(Path("target")).size(), 0u);

  WriteSettings("[LogFilesXP]\r\n1=$VisuDir$\\*.log\r\n");
  ASSERT_NO_FATAL_FAILURE(Start("--CHECK"));
  EXPECT_EQ(End(), 0u) << run_.Output();
  EXPECT_NE(run_.Output().find("No problems found."), std::string::npos) << run_.Output();

  // Two runs started together: one collects, the other refuses.
  Program second;
  ASSERT_NO_FATAL_FAILURE(Start("x"));
  ASSERT_TRUE(
      second.Start("\"" + Path("prog\\quillet.exe") + "\" x", root_, {}, Path("second.txt")));
  const DWORD first_code = End();
  ASSERT_TRUE(second.Wait(kTimeoutMs));
  EXPECT_EQ(first_code + second.ExitCode(), 5u) << run_.Output() << second.Output();
  EXPECT_EQ(List(Path("target")).size(), 1u);
}

}  // namespace
}  // namespace wine_test
