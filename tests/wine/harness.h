// What the Windows end-to-end tests do around quillet.exe: a tree of their
// own, programs started with their output in a file, the message boxes they
// show, and the archives they leave.
#ifndef QUILLET_TESTS_WINE_HARNESS_H_
#define QUILLET_TESTS_WINE_HARNESS_H_

#include <windows.h>

#include <map>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/files_and_zips.h"

namespace wine_test {

// Long enough for a slow Wine start on a loaded machine.
inline constexpr DWORD kTimeoutMs = 60000;

// "/a/b" on the Linux side is "Z:\a\b" inside Wine.
std::string WinePath(const std::string& linux_path);
using quillet::test_support::ReadAll;
using quillet::test_support::ReadZip;
using quillet::test_support::Write;
std::vector<std::string> List(const std::string& folder);  // Sorted.

// A program that the test started; ended by force if it still runs when the
// object goes away. Standard output and error go to a file.
class Program {
 public:
  ~Program();
  bool Start(const std::string& command_line, const std::string& folder,
             const std::vector<std::string>& environment, const std::string& output);
  // False when it still runs after `ms`.
  bool Wait(DWORD ms);
  DWORD ExitCode() const;
  DWORD Id() const { return id_; }
  std::string Output() const { return ReadAll(output_); }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
  std::string output_;
};

// A message box that process `id` shows, nullptr when there is none.
HWND BoxOf(DWORD id);
// The message of a message box of any process.
std::string BoxText(HWND box);
void PressOk(HWND box);

// Every test has a tree of its own with quillet.exe in "prog", $VisuDir$ in
// "visu" and the archives in "target"; the runs start from the tree's top.
class WineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string Path(const std::string& relative) const { return root_ + "\\" + relative; }
  // Section Project with the target folder and `project`, then `sections`.
  void WriteSettings(const std::string& sections, const std::string& project = "");
  // Starts prog\quillet.exe with `argument`, `environment` overriding.
  void Start(const std::string& argument, const std::vector<std::string>& environment = {});
  // The run's next message box; nullptr when it ended without one.
  HWND NextBox();
  // Answers the run's message boxes with OK until it ends; their texts.
  std::vector<std::string> AnswerBoxes();
  // Waits for the run to end; a message box on the way fails the test.
  DWORD End();
  // Holds `relative` open as a log's program does: writing with read
  // sharing, or without any sharing.
  void HoldOpen(const std::string& relative, bool shared);
  // The name of the one new archive "1-*.Zip" in the target folder.
  std::string NewArchive() const;

  std::string root_;
  Program run_;
  std::vector<HANDLE> held_;
};

}  // namespace wine_test

#endif  // QUILLET_TESTS_WINE_HARNESS_H_
