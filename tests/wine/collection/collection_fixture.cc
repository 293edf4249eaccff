#include "collection_fixture.h"

#include <cstdlib>

namespace quillet_test {
namespace {

// The class of every dialog box, message boxes included.
constexpr char kDialogClass[] = "#32770";

// A value of the environment that overrides a path of the build, e.g. to
// try another build by hand; `built` otherwise. Both become Wine paths.
std::string BuildPath(const char* variable, const char* built) {
  const char* path = std::getenv(variable);
  return WinePathFromLinux(path != nullptr && *path != '\0' ? path : built);
}

}  // namespace

std::string ProgramUnderTest() { return BuildPath("QUILLET_E2E_EXE", QUILLET_EXE_PATH); }
std::string ToolsFolder() { return BuildPath("QUILLET_E2E_TOOLS_DIR", QUILLET_TOOLS_DIR_PATH); }
std::string HoldFileProgram() { return WinePathFromLinux(HOLD_FILE_EXE_PATH); }
std::string SleeperProgram() { return WinePathFromLinux(SLEEPER_EXE_PATH); }

void CollectionFixture::SetUp() {
  ASSERT_FALSE(root_.path().empty()) << "no temporary folder";
  for (const char* folder : {"prog", "visu", "logs", "target"}) {
    ASSERT_TRUE(CreateDirectoryA(Path(folder).c_str(), nullptr)) << Path(folder);
  }
  const std::string program = ProgramUnderTest();
  ASSERT_TRUE(CopyFileA(program.c_str(), Path("prog\\quillet.exe").c_str(), FALSE))
      << "cannot copy " << program << ", error " << GetLastError();
}

void CollectionFixture::TearDown() {
  // No process may outlive its test, whatever the test's outcome; a run that
  // still waits here was left hanging by the test or by the program.
  if (quillet_.running()) {
    ADD_FAILURE() << "the program was still running at the end of the test";
    quillet_.Terminate();
  }
  for (const std::unique_ptr<HeldFile>& held : held_) held->Release();
}

void CollectionFixture::WriteFile(const std::string& relative, const std::string& content) {
  EXPECT_TRUE(WriteTextFile(Path(relative), content)) << Path(relative);
}

void CollectionFixture::WriteSettings(const std::string& sections,
                                      const std::string& project_keys) {
  WriteFile("prog\\quillet.ini",
            "[Project]\r\nTargetPath=" + Path("target") + "\r\n" + project_keys + sections);
}

void CollectionFixture::Start(const std::string& argument,
                              const std::vector<std::string>& environment) {
  std::string command_line = "\"" + Path("prog\\quillet.exe") + "\"";
  if (!argument.empty()) command_line += " " + argument;
  // The directory variables that a run writes to point into the test's
  // folder, so that a run touches nothing outside it.
  std::vector<std::string> overrides = {
      "VisuDir=" + Path("visu"),
      "MorvaToolsDir=" + ToolsFolder(),
      "TempVisu=" + Path("temp"),
  };
  overrides.insert(overrides.end(), environment.begin(), environment.end());
  ASSERT_TRUE(quillet_.Start(command_line, root_.path(), overrides)) << quillet_.error();
}

DWORD CollectionFixture::WaitForEnd() {
  bool saw_dialog = false;
  const bool ended = quillet_.WaitWithoutDialog(kTimeoutMs, &saw_dialog);
  if (saw_dialog) {
    HWND box = FindProcessWindow(quillet_.process_id(), kDialogClass, "");
    ADD_FAILURE() << "the program showed a dialog: \""
                  << (box != nullptr ? MessageBoxText(box) : std::string()) << "\"";
  } else if (!ended) {
    ADD_FAILURE() << "the program did not end within " << kTimeoutMs << " ms";
  }
  quillet_.Terminate();
  return quillet_.exit_code();
}

HWND CollectionFixture::WaitForBox() {
  HWND box =
      WaitForProcessWindow(quillet_.handle(), quillet_.process_id(), kDialogClass, "", kTimeoutMs);
  if (box == nullptr) {
    ADD_FAILURE() << "no message box appeared; the program "
                  << (quillet_.running()
                          ? "is still running"
                          : "ended with code " + std::to_string(quillet_.exit_code()))
                  << "; standard error: " << quillet_.StandardError();
  }
  return box;
}

void CollectionFixture::CloseBox(HWND box) {
  PressOk(box);
  // The next box must not be mistaken for this one, so the wait goes on
  // until this one has gone.
  const DWORD start = GetTickCount();
  while (IsWindow(box) && IsWindowVisible(box)) {
    if (GetTickCount() - start >= kTimeoutMs) {
      ADD_FAILURE() << "the message box stayed after OK";
      return;
    }
    Sleep(20);
  }
}

std::vector<std::string> CollectionFixture::AnswerBoxesUntilEnd() {
  // Far more boxes than any run here shows; a run that keeps showing them
  // must not keep the test going forever.
  constexpr int kMaxBoxes = 20;
  std::vector<std::string> texts;
  for (int i = 0; i < kMaxBoxes && quillet_.running(); ++i) {
    HWND box = WaitForProcessWindow(quillet_.handle(), quillet_.process_id(), kDialogClass, "",
                                    kTimeoutMs);
    if (box == nullptr) break;
    texts.push_back(MessageBoxText(box));
    CloseBox(box);
  }
  EXPECT_TRUE(quillet_.Wait(kTimeoutMs))
      << "the program did not end; boxes so far: " << texts.size();
  quillet_.Terminate();
  return texts;
}

bool CollectionFixture::Hold(const std::string& relative, const std::string& mode) {
  held_.push_back(std::make_unique<HeldFile>());
  HeldFile& held = *held_.back();
  const bool holding = held.Start(HoldFileProgram(), Path(relative), mode, kTimeoutMs);
  EXPECT_TRUE(holding) << relative << ": " << held.error();
  return holding;
}

std::string CollectionFixture::NewArchive() const {
  std::vector<std::string> found;
  for (const std::string& name : TargetNames()) {
    if (name.compare(0, 2, "1-") == 0) found.push_back(name);
  }
  if (found.size() != 1) {
    std::string listing;
    for (const std::string& name : TargetNames()) listing += " " + name;
    ADD_FAILURE() << "expected one name beginning with 1- in the target folder, found:" << listing;
    return "";
  }
  return found[0];
}

std::vector<std::string> CollectionFixture::ArchiveNames(const std::string& archive) const {
  std::vector<ZipEntry> entries;
  std::string error;
  EXPECT_TRUE(ListZip(Path("target\\" + archive), &entries, &error)) << archive << ": " << error;
  std::vector<std::string> names;
  for (const ZipEntry& entry : entries) names.push_back(entry.name);
  return SortedNoCase(names);
}

}  // namespace quillet_test
