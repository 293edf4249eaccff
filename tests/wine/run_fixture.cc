#include "run_fixture.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

namespace quillet_test {
namespace {

// The class of every dialog box, message boxes included.
constexpr char kDialogClass[] = "#32770";

std::string BuildPath(const char* variable, const char* built) {
  const char* path = std::getenv(variable);
  return WinePathFromLinux(path != nullptr && *path != '\0' ? path : built);
}

void AddTree(const std::string& folder, const std::string& prefix,
             std::vector<std::string>* names) {
  for (const std::string& name : ListFolder(folder)) {
    names->push_back(prefix + name);
    const DWORD attributes = GetFileAttributesA((folder + "\\" + name).c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      AddTree(folder + "\\" + name, prefix + name + "/", names);
    }
  }
}

}  // namespace

std::string ProgramUnderTest() { return BuildPath("QUILLET_E2E_EXE", QUILLET_EXE_PATH); }
std::string ToolsFolder() { return BuildPath("QUILLET_E2E_TOOLS_DIR", QUILLET_TOOLS_DIR_PATH); }
std::string SleeperProgram() { return WinePathFromLinux(SLEEPER_EXE_PATH); }
std::string StandInHmiProgram() { return WinePathFromLinux(STAND_IN_HMI_PATH); }

std::string OldArchive(int slot, int day) {
  return std::to_string(slot) + "-01.0" + std::to_string(day) + ".26-10.00.00.Zip";
}

void RunFixture::SetUp() {
  ASSERT_FALSE(root_.path().empty()) << "no temporary folder";
  for (const char* folder : {"prog", "visu", "logs", "target"}) {
    ASSERT_TRUE(CreateDirectoryA(Path(folder).c_str(), nullptr)) << Path(folder);
  }
  ASSERT_NO_FATAL_FAILURE(Install("quillet.exe"));
  WriteFile("visu\\app.log", "collected\r\n");
}

void RunFixture::TearDown() {
  // A run that still goes on here was left hanging by the test or by the
  // program; the helpers end with the fixture.
  if (quillet_.running()) {
    ADD_FAILURE() << "the program was still running at the end of the test";
    quillet_.Terminate();
  }
}

void RunFixture::WriteFile(const std::string& relative, const std::string& content) {
  EXPECT_TRUE(WriteTextFile(Path(relative), content)) << Path(relative);
}

void RunFixture::Install(const std::string& name) {
  const std::string program = ProgramUnderTest();
  ASSERT_TRUE(CopyFileA(program.c_str(), Path("prog\\" + name).c_str(), FALSE))
      << "cannot copy " << program << ", error " << GetLastError();
}

std::string RunFixture::Settings(const std::string& sections,
                                 const std::string& project_keys) const {
  return "[Project]\r\nTargetPath=" + Path("target") + "\r\n" + project_keys + sections;
}

void RunFixture::Start(const std::string& argument, const std::vector<std::string>& environment,
                       const std::string& program) {
  std::string command_line = "\"" + Path("prog\\" + program) + "\"";
  if (!argument.empty()) command_line += " " + argument;
  std::vector<std::string> overrides = {
      "VisuDir=" + Path("visu"),
      "MorvaToolsDir=" + ToolsFolder(),
      "TempVisu=" + Path("temp"),
  };
  overrides.insert(overrides.end(), environment.begin(), environment.end());
  ASSERT_TRUE(quillet_.Start(command_line, root_.path(), overrides)) << quillet_.error();
}

HWND RunFixture::NextBox() {
  HWND box = nullptr;
  WaitUntil(
      [&] {
        box = FindProcessWindow(quillet_.process_id(), kDialogClass, "");
        return box != nullptr || !quillet_.running();
      },
      kTimeoutMs);
  return box;
}

DWORD RunFixture::WaitForEnd() {
  if (HWND box = NextBox()) {
    ADD_FAILURE() << "the program showed a dialog: \"" << MessageBoxText(box) << "\"";
  } else if (quillet_.running()) {
    ADD_FAILURE() << "the program did not end within " << kTimeoutMs << " ms";
  }
  quillet_.Terminate();
  return quillet_.exit_code();
}

::testing::AssertionResult RunFixture::EndsWithSuccess() {
  const DWORD code = WaitForEnd();
  if (code == kExitOk) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure()
         << "exit code " << code << "; standard error: " << quillet_.StandardError();
}

HWND RunFixture::WaitForBox() {
  HWND box = NextBox();
  if (box == nullptr) {
    ADD_FAILURE() << "no message box appeared; the program "
                  << (quillet_.running()
                          ? "is still running"
                          : "ended with code " + std::to_string(quillet_.exit_code()))
                  << "; standard error: " << quillet_.StandardError();
  }
  return box;
}

void RunFixture::CloseBox(HWND box) {
  PressOk(box);
  EXPECT_TRUE(WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); }, kTimeoutMs))
      << "the message box stayed after OK";
}

std::vector<std::string> RunFixture::AnswerBoxesUntilEnd() {
  // Far more boxes than any run here shows; a run that keeps showing them
  // must not keep the test going forever.
  constexpr int kMaxBoxes = 20;
  std::vector<std::string> texts;
  for (int i = 0; i < kMaxBoxes && quillet_.running(); ++i) {
    HWND box = NextBox();
    if (box == nullptr) break;
    texts.push_back(MessageBoxText(box));
    CloseBox(box);
  }
  EXPECT_TRUE(quillet_.Wait(kTimeoutMs))
      << "the program did not end; boxes so far: " << texts.size();
  quillet_.Terminate();
  return texts;
}

HWND RunFixture::TopmostStatusWindow() {
  HWND window = FindProcessWindow(quillet_.process_id(), "", kStatusCaption);
  if (window == nullptr) {
    ADD_FAILURE() << "no visible window titled " << kStatusCaption;
    return nullptr;
  }
  EXPECT_TRUE(IsWindowVisible(window));
  RECT outer = {};
  EXPECT_TRUE(GetWindowRect(window, &outer));
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_NE(GetWindowLongA(window, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  return window;
}

ChildProcess* RunFixture::StartHelper(const std::string& command_line) {
  helpers_.push_back(std::make_unique<ChildProcess>());
  if (helpers_.back()->Start(command_line, root_.path(), {})) return helpers_.back().get();
  ADD_FAILURE() << helpers_.back()->error();
  return nullptr;
}

bool RunFixture::Hold(const std::string& relative, const std::string& mode) {
  // The holder keeps its file far longer than any test runs; the test ends
  // it, and the holder says "ready" once the file is open.
  ChildProcess* holder = StartHelper("\"" + WinePathFromLinux(HOLD_FILE_EXE_PATH) + "\" \"" +
                                     Path(relative) + "\" " + mode + " 600");
  const bool holding = holder != nullptr && holder->WaitForOutput("ready", kTimeoutMs);
  EXPECT_TRUE(holding) << relative << ": the holder said: "
                       << (holder != nullptr ? holder->StandardError() : "");
  return holding;
}

std::string RunFixture::NewArchive() const {
  std::vector<std::string> found;
  const std::vector<std::string> names = TargetNames();
  for (const std::string& name : names) {
    if (name.size() >= 6 && name.compare(0, 2, "1-") == 0 &&
        name.compare(name.size() - 4, 4, ".Zip") == 0) {
      found.push_back(name);
    }
  }
  if (found.size() == 1) return found[0];
  std::string listing;
  for (const std::string& name : names) listing += " " + name;
  ADD_FAILURE() << "expected one archive 1-*.Zip in the target folder, found:" << listing;
  return "";
}

std::string RunFixture::OnlyArchive() const {
  const std::string archive = NewArchive();
  EXPECT_EQ(TargetNames().size(), 1u) << "the target folder holds more than " << archive;
  return archive;
}

std::vector<ZipEntry> RunFixture::ArchiveEntries(const std::string& archive) const {
  std::vector<ZipEntry> entries;
  std::string error;
  EXPECT_TRUE(ListZip(ReadTextFile(Path("target\\" + archive)), &entries, &error))
      << archive << ": " << error;
  return entries;
}

std::vector<std::string> RunFixture::ArchiveNames(const std::string& archive) const {
  std::vector<std::string> names;
  for (const ZipEntry& entry : ArchiveEntries(archive)) names.push_back(entry.name);
  // Sorted as Windows would list them.
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(),
        [](unsigned char x, unsigned char y) { return std::tolower(x) < std::tolower(y); });
  });
  return names;
}

ZipEntry RunFixture::ArchiveEntry(const std::string& archive, const std::string& name) const {
  const std::vector<ZipEntry> entries = ArchiveEntries(archive);
  for (const ZipEntry& entry : entries) {
    if (entry.name == name) return entry;
  }
  ADD_FAILURE() << "no " << name << " among the " << entries.size() << " entries of " << archive;
  return ZipEntry();
}

std::vector<std::string> RunFixture::Snapshot() const {
  std::vector<std::string> names;
  AddTree(root_.path(), "", &names);
  return names;
}

}  // namespace quillet_test
