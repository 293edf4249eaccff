// quillet.exe under Wine, started as a scheduler or a technician would. Every
// test has a tree of its own with quillet.exe in "prog", $VisuDir$ in "visu"
// and the archives in "target"; the runs start from the tree's top.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

#include "gtest/gtest.h"
#include "tests/support/files_and_zips.h"

namespace wine_test {
namespace {

namespace fs = std::filesystem;
using quillet::test_support::ListFolder;
using quillet::test_support::ReadAll;
using quillet::test_support::ReadZip;
using quillet::test_support::Write;
using Names = std::vector<std::string>;

constexpr DWORD kTimeoutMs = 60000;  // Long enough for a slow Wine start on a loaded machine.

// Polls `done` until it holds or the time-out has passed.
template <typename Done>
void WaitUntil(Done done) {
  for (const DWORD start = GetTickCount(); !done() && GetTickCount() - start < kTimeoutMs;)
    Sleep(50);
}

// "/a/b" on the Linux side is "Z:\a\b" inside Wine.
std::string WinePath(const std::string& linux_path) {
  std::string path = "Z:" + linux_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

// A program that the test started, its output in a file; ended by force if
// it still runs when the object goes away.
class Program {
 public:
  ~Program() {
    if (info_.hProcess == nullptr) return;
    TerminateProcess(info_.hProcess, 255);
    WaitForSingleObject(info_.hProcess, 10000);
    CloseHandle(info_.hProcess);
  }
  bool Start(std::string command_line, const std::string& folder, const std::string& output) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError =
        CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                    CREATE_ALWAYS, 0, nullptr);
    const BOOL started = CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, TRUE, 0,
                                        nullptr, folder.c_str(), &startup, &info_);
    CloseHandle(startup.hStdOutput);
    if (started) CloseHandle(info_.hThread);
    return started;
  }
  bool Wait(DWORD ms) {
    return info_.hProcess == nullptr || WaitForSingleObject(info_.hProcess, ms) == WAIT_OBJECT_0;
  }
  DWORD ExitCode() const {
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
  }
  // The program's next message box; nullptr when it ended without one.
  HWND NextBox() {
    HWND box = nullptr;
    WaitUntil([&] {
      // Every dialog box, message boxes too, has this class.
      while ((box = FindWindowExA(nullptr, box, WC_DIALOG, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(box, &owner);
        if (owner == info_.dwProcessId && IsWindowVisible(box)) return true;
      }
      return Wait(0);
    });
    return box;
  }

 private:
  PROCESS_INFORMATION info_ = {};
};

std::string OldArchive(int slot, int day) {
  return std::to_string(slot) + "-01.0" + std::to_string(day) + ".26-10.00.00.Zip";
}

class WineRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char temp[MAX_PATH + 1] = {}, full[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, temp);
    GetLongPathNameA(temp, full, MAX_PATH);  // As the program reports its own path.
    root_ = std::string(full) + "quillet_" + std::to_string(GetCurrentProcessId()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::error_code error;
    fs::remove_all(root_, error);
    for (const char* folder : {"prog", "visu", "logs", "target"})
      fs::create_directories(Path(folder));
    ASSERT_TRUE(CopyFileA(WinePath(QUILLET_EXE).c_str(), Path("prog\\quillet.exe").c_str(), 0));
    SetEnvironmentVariableA("VisuDir", Path("visu").c_str());
    SetEnvironmentVariableA("TempVisu", Path("visu").c_str());
    SetEnvironmentVariableA("MorvaToolsDir", WinePath(QUILLET_TOOLS_DIR).c_str());
  }
  void TearDown() override {
    for (HANDLE file : held_) CloseHandle(file);
    EXPECT_TRUE(run_.Wait(0)) << "the run was still going at the end of the test";
    std::error_code error;
    if (!HasFailure()) fs::remove_all(root_, error);
  }
  std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
  void Start(Program* program, const std::string& argument,
             const std::string& output = "output.txt") {
    ASSERT_TRUE(
        program->Start("\"" + Path("prog\\quillet.exe") + "\" " + argument, root_, Path(output)));
  }
  // Answers the run's message boxes with OK until it ends; their texts.
  Names AnswerBoxes() {
    Names texts;
    // Far more boxes than any run shows end the answering too.
    for (HWND box = run_.NextBox(); box != nullptr && texts.size() < 20; box = run_.NextBox()) {
      // The message of a message box is the longest text among its controls.
      std::string longest;
      for (HWND child = nullptr; (child = FindWindowExA(box, child, nullptr, nullptr));) {
        char text[4096] = {};
        if (GetWindowTextA(child, text, sizeof(text)) > static_cast<int>(longest.size()))
          longest = text;
      }
      texts.push_back(longest);
      // A posted command works whether or not the box is active.
      PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                   reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
      WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); });
    }
    EXPECT_TRUE(run_.Wait(kTimeoutMs)) << "the run did not end";
    return texts;
  }
  // Holds `relative` open without any sharing, so that it can be neither moved nor deleted.
  void HoldOpen(const std::string& relative) {
    HANDLE file =
        CreateFileA(Path(relative).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative;
    held_.push_back(file);
  }

  std::string root_;
  Program run_;
  std::vector<HANDLE> held_;
};

TEST_F(WineRunTest, AWholeCollectionAroundLockedFilesAndTheHmi) {
  for (int slot = 1; slot <= 9; ++slot) Write(Path("target\\" + OldArchive(slot, slot)), "old");
  for (const char* log : {"app.log", "old1.log", "old2.log"})
    Write(Path(std::string("logs\\") + log), std::string(log) + " content\r\n");
  // A read-only log's copy keeps the attribute and must still go with the staging folder; a
  // read-only log of the deletion list stays.
  for (const char* log : {"logs\\app.log", "logs\\old2.log"})
    SetFileAttributesA(Path(log).c_str(), FILE_ATTRIBUTE_READONLY);
  HoldOpen("target\\" + OldArchive(9, 9));
  HoldOpen("target\\" + OldArchive(4, 4));
  Program hmi;
  ASSERT_TRUE(
      hmi.Start("\"" + WinePath(STAND_IN_HMI) + "\" \"" + root_ + "\"", root_, Path("hmi.txt")));
  WaitUntil([this] { return !ReadAll(Path("hmi_ready.txt")).empty(); });
  Write(Path("prog\\quillet.ini"),
        "[Project]\r\nTargetPath=" + Path("target") + "\r\nReport=true\r\n" +
            "[StartExeFilesXP]\r\n1=$VisuDir$\\Task.bat\r\n" +
            "[LogFilesXP]\r\n1=" + Path("logs\\*.log") + "\r\n2=$VisuDir$\\Task.log\r\n" +
            "[DeleteFilesXP]\r\n1=" + Path("logs\\old*.log") + "\r\n");
  ASSERT_NO_FATAL_FAILURE(Start(&run_, ""));
  // While the run waits on its first box, a second run refuses and changes nothing.
  ASSERT_NE(run_.NextBox(), nullptr);
  const Names before = ListFolder(Path("target"));
  Program second;
  ASSERT_NO_FATAL_FAILURE(Start(&second, "x", "second.txt"));
  ASSERT_TRUE(second.Wait(kTimeoutMs));
  EXPECT_EQ(second.ExitCode(), 5u);
  EXPECT_PRED_FORMAT2(testing::IsSubstring, "Another Quillet collection is running",
                      ReadAll(Path("second.txt")));  // Told to whoever started it.
  EXPECT_EQ(ListFolder(Path("target")), before);
  const Names boxes = AnswerBoxes();
  const Names names = ListFolder(Path("target"));
  const std::string archive = names.empty() ? "" : names[0];
  EXPECT_EQ(boxes, (Names{"Can not delete " + OldArchive(9, 9), "Can not copy " + OldArchive(4, 4),
                          "File saved in " + Path("target\\" + archive)}));
  EXPECT_EQ(run_.ExitCode(), 0u) << ReadAll(Path("output.txt"));

  // The locked archives keep their names, the others moved up one slot.
  for (const std::string& name : {OldArchive(9, 9), OldArchive(9, 8), OldArchive(4, 4),
                                  OldArchive(4, 3), OldArchive(6, 5), OldArchive(2, 1)}) {
    EXPECT_NE(std::find(names.begin(), names.end(), name), names.end()) << name;
  }
  std::map<std::string, std::string> entries = ReadZip(Path("target\\" + archive));
  EXPECT_EQ(entries["app.log"], "app.log content\r\n");
  EXPECT_NE(entries["Quillet-Report.json"].find("\"second_click_sent\": true"), std::string::npos);
  const std::string& bmp = entries["Screen.bmp"];
  ASSERT_GE(bmp.size(), 26u) << "no screenshot";
  int size[2] = {};
  std::memcpy(size, bmp.data() + 18, sizeof(size));
  EXPECT_EQ(size[0], GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(size[1], GetSystemMetrics(SM_CYSCREEN));
  // --verify finds the archive whole.
  Program verify;
  ASSERT_NO_FATAL_FAILURE(Start(&verify, "--verify \"target\\" + archive + "\"", "verify.txt"));
  EXPECT_TRUE(verify.Wait(kTimeoutMs) && verify.ExitCode() == 0) << ReadAll(Path("verify.txt"));
  EXPECT_EQ(GetFileAttributesA(Path("logs\\old1.log").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(Path("target\\Log").c_str()), INVALID_FILE_ATTRIBUTES);
  for (const char* log : {"logs\\app.log", "logs\\old2.log"})  // Both there, made writable.
    EXPECT_TRUE(SetFileAttributesA(Path(log).c_str(), FILE_ATTRIBUTE_NORMAL)) << log;

  // The HMI got its two clicks where its buttons are (within three pixels), and saved.
  EXPECT_EQ(ReadAll(Path("hmi_saved.txt")), "debug line 1\r\ndebug line 2\r\n")
      << ReadAll(Path("hmi_clicks.txt"));
}

}  // namespace
}  // namespace wine_test
