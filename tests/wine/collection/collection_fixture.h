// The base of the collection tests: a folder tree of its own for every test,
// with the program and its settings file in "prog", $VisuDir$ in "visu",
// logs to collect in "logs" and the archives in "target"; and the means to
// start a run there, answer its message boxes and look at what it left.
#ifndef QUILLET_TESTS_WINE_COLLECTION_COLLECTION_FIXTURE_H_
#define QUILLET_TESTS_WINE_COLLECTION_COLLECTION_FIXTURE_H_

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "collection_util.h"
#include "gtest/gtest.h"
#include "win_test_util.h"

namespace quillet_test {

// Long enough for a slow Wine start on a loaded machine, short enough that a
// hanging child fails its test well within the test's own time limit.
inline constexpr DWORD kTimeoutMs = 60000;

// The Windows paths of the programs that the build made.
std::string ProgramUnderTest();
std::string ToolsFolder();
std::string HoldFileProgram();
std::string SleeperProgram();

class CollectionFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // `relative` below the test's folder, e.g. Path("logs\\app.log").
  std::string Path(const std::string& relative) const { return root_.Join(relative); }
  void WriteFile(const std::string& relative, const std::string& content);
  // Writes prog\quillet.ini: section Project with the target folder and
  // `project_keys` (lines ending in "\r\n"), then `sections`.
  void WriteSettings(const std::string& sections, const std::string& project_keys = "");

  // Starts the program from the test's folder, with `argument` when not
  // empty; `environment` adds "NAME=value" entries to the usual ones.
  void Start(const std::string& argument, const std::vector<std::string>& environment = {});
  // Waits for a run started with an argument to end by itself and returns
  // its exit code. A dialog box or a run that does not end fails the test.
  DWORD WaitForEnd();
  // Waits for the next message box of the run; nullptr, with a failure,
  // when none came in time.
  HWND WaitForBox();
  // Presses OK and waits until the box is gone.
  void CloseBox(HWND box);
  // Answers every message box of a run started without an argument with OK
  // until the run ends, and returns the boxes' texts in turn. A run that
  // does not end in time fails the test.
  std::vector<std::string> AnswerBoxesUntilEnd();

  // Keeps `relative` open in `mode` ("shared" or "none") until the test
  // ends. Returns false, with a failure, when the file could not be held.
  bool Hold(const std::string& relative, const std::string& mode);

  // The names in the target folder, folders included.
  std::vector<std::string> TargetNames() const { return ListFolder(Path("target")); }
  // The name of the archive the run made (the one name beginning with
  // "1-"); "" with a failure when there is not exactly one.
  std::string NewArchive() const;
  // The entry names of target\`archive`, sorted without regard to case.
  std::vector<std::string> ArchiveNames(const std::string& archive) const;

  TempFolder root_;
  ChildProcess quillet_;
  std::vector<std::unique_ptr<HeldFile>> held_;
};

}  // namespace quillet_test

#endif  // QUILLET_TESTS_WINE_COLLECTION_COLLECTION_FIXTURE_H_
