// The base of the Wine end-to-end tests: a folder tree of its own for every
// test with quillet.exe installed in it, and the means to start a run
// there, answer its message boxes and look at what it left.
#ifndef QUILLET_TESTS_WINE_RUN_FIXTURE_H_
#define QUILLET_TESTS_WINE_RUN_FIXTURE_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "win_test_util.h"

namespace quillet_test {

// Long enough for a slow Wine start on a loaded machine, short enough that a
// hanging child fails its test well within the test's own time limit.
inline constexpr DWORD kTimeoutMs = 60000;

inline constexpr DWORD kExitOk = 0;
inline constexpr char kStatusCaption[] = "Quilletfiles";

// Settings sections that collect the log file of $VisuDir$ that every test
// tree has, on either system family.
inline constexpr char kVisuLogSections[] =
    "[LogFilesXP]\r\n1=$VisuDir$\\*.log\r\n[LogFilesNT]\r\n1=$VisuDir$\\*.log\r\n";

// Windows paths of programs that the build made. The program under test and
// the tools folder, which the runs use as $MorvaToolsDir$ for its Zip.exe
// and process listers, follow QUILLET_E2E_EXE and QUILLET_E2E_TOOLS_DIR when
// those are set, e.g. to try another build by hand.
std::string ProgramUnderTest();
std::string ToolsFolder();
std::string SleeperProgram();
std::string StandInHmiProgram();

// The name of an old archive that a test puts into slot `slot`, dated
// January `day`.
std::string OldArchive(int slot, int day);

// Every test has a tree of its own: quillet.exe and its settings in "prog",
// $VisuDir$ in "visu" with one log file to collect, more logs in "logs" and
// the archives in "target". Runs start from the tree's top, and the
// directory variables that a run writes to point into the tree, so that a
// run touches nothing outside it.
class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Path(const std::string& relative) const { return root_.Join(relative); }
  void WriteFile(const std::string& relative, const std::string& content);
  // Copies the program under test to prog\`name`.
  void Install(const std::string& name);
  // Section Project with the target folder and `project_keys`, then
  // `sections`; the parts are lines that end in "\r\n".
  std::string Settings(const std::string& sections, const std::string& project_keys = "") const;
  void WriteSettings(const std::string& sections, const std::string& project_keys = "") {
    WriteFile("prog\\quillet.ini", Settings(sections, project_keys));
  }

  // Starts prog\`program`, with `argument` when not empty; `environment`
  // adds "NAME=value" entries to the usual ones.
  void Start(const std::string& argument, const std::vector<std::string>& environment = {},
             const std::string& program = "quillet.exe");
  // Waits for the run to end by itself and returns its exit code. A dialog
  // box fails the test at once, since nobody would be there to close it, and
  // so does a run that does not end in time.
  DWORD WaitForEnd();
  // WaitForEnd with exit code 0; a failure shows what the run printed.
  ::testing::AssertionResult EndsWithSuccess();
  ::testing::AssertionResult RunSucceeds(const std::string& program = "quillet.exe") {
    Start("x", {}, program);
    return EndsWithSuccess();
  }
  // The run's next message box; nullptr, with a failure, when none came.
  HWND WaitForBox();
  // Presses OK and waits until the box has gone, so that the next box of the
  // run cannot be mistaken for this one.
  void CloseBox(HWND box);
  // Answers every message box of the run with OK until the run ends, and
  // returns the boxes' texts in turn.
  std::vector<std::string> AnswerBoxesUntilEnd();
  // Checks that the run's status window shows topmost at the screen's
  // origin; returns it, or nullptr with a failure when none shows.
  HWND TopmostStatusWindow();

  // A program of the test other than the run, ended with the test; nullptr,
  // with a failure, when it could not be started.
  ChildProcess* StartHelper(const std::string& command_line);
  // Keeps `relative` open in `mode` ("shared" or "none") until the test
  // ends. Returns false, with a failure, when the file could not be held.
  bool Hold(const std::string& relative, const std::string& mode);

  std::vector<std::string> TargetNames() const { return ListFolder(Path("target")); }
  // The name of the archive that the run made, the one "1-*.Zip" in the
  // target folder; "" with a failure when there is not exactly one.
  std::string NewArchive() const;
  // NewArchive, which must also be the only entry of the target folder.
  std::string OnlyArchive() const;
  // The entry names of target\`archive`, sorted without regard to case.
  std::vector<std::string> ArchiveNames(const std::string& archive) const;
  // Entry `name` of target\`archive`; one without a name, with a failure,
  // when there is none.
  ZipEntry ArchiveEntry(const std::string& archive, const std::string& name) const;
  // Every path below the tree, to show that a run changed nothing.
  std::vector<std::string> Snapshot() const;

  TempFolder root_;
  ChildProcess quillet_;
  std::vector<std::unique_ptr<ChildProcess>> helpers_;

 private:
  std::vector<ZipEntry> ArchiveEntries(const std::string& archive) const;
  // Waits until the run shows a dialog box or ends; returns the box.
  HWND NextBox();
};

}  // namespace quillet_test

#endif  // QUILLET_TESTS_WINE_RUN_FIXTURE_H_
