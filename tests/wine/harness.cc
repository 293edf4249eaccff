#include "harness.h"

#include <algorithm>
#include <filesystem>

namespace wine_test {
namespace {

namespace fs = std::filesystem;

constexpr char kDialogClass[] = "#32770";  // Every dialog box, message boxes too.
constexpr DWORD kPollMs = 50;

template <typename Done>
bool WaitUntil(Done done, DWORD ms) {
  for (const DWORD start = GetTickCount(); !done(); Sleep(kPollMs)) {
    if (GetTickCount() - start >= ms) return false;
  }
  return true;
}

std::string Title(HWND window) {
  char text[4096] = {};
  return std::string(text, static_cast<std::size_t>(GetWindowTextA(window, text, sizeof(text))));
}

struct Query {
  DWORD id;
  HWND found;
};

BOOL CALLBACK Match(HWND window, LPARAM param) {
  auto* query = reinterpret_cast<Query*>(param);
  DWORD owner = 0;
  char name[256] = {};
  GetWindowThreadProcessId(window, &owner);
  GetClassNameA(window, name, sizeof(name));
  if (owner != query->id || !IsWindowVisible(window) || std::string(name) != kDialogClass) {
    return TRUE;
  }
  query->found = window;
  return FALSE;
}

// The message is the longest text among a box's controls.
BOOL CALLBACK LongestText(HWND child, LPARAM param) {
  auto* longest = reinterpret_cast<std::string*>(param);
  const std::string text = Title(child);
  if (text.size() > longest->size()) *longest = text;
  return TRUE;
}

}  // namespace

std::string WinePath(const std::string& linux_path) {
  std::string path = "Z:" + linux_path;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

std::vector<std::string> List(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

Program::~Program() {
  if (process_ == nullptr) return;
  TerminateProcess(process_, 255);
  WaitForSingleObject(process_, 10000);
  CloseHandle(process_);
}

bool Program::Start(const std::string& command_line, const std::string& folder,
                    const std::vector<std::string>& environment, const std::string& output) {
  for (const std::string& entry : environment) {
    const std::size_t equals = entry.find('=');
    SetEnvironmentVariableA(entry.substr(0, equals).c_str(), entry.substr(equals + 1).c_str());
  }
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  output_ = output;
  HANDLE file = CreateFileA(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            &inherit, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = startup.hStdError = file;
  PROCESS_INFORMATION info = {};
  std::string line = command_line;
  const BOOL started = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                      folder.c_str(), &startup, &info);
  CloseHandle(file);
  if (!started) return false;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

bool Program::Wait(DWORD ms) {
  return process_ == nullptr || WaitForSingleObject(process_, ms) == WAIT_OBJECT_0;
}

DWORD Program::ExitCode() const {
  DWORD code = STILL_ACTIVE;
  if (process_ != nullptr) GetExitCodeProcess(process_, &code);
  return code;
}

HWND BoxOf(DWORD id) {
  Query query{id, nullptr};
  EnumWindows(&Match, reinterpret_cast<LPARAM>(&query));
  return query.found;
}

std::string BoxText(HWND box) {
  std::string longest;
  EnumChildWindows(box, &LongestText, reinterpret_cast<LPARAM>(&longest));
  return longest;
}

void PressOk(HWND box) {
  // A posted command works whether or not the box is active.
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
  WaitUntil([box] { return !IsWindow(box) || !IsWindowVisible(box); }, kTimeoutMs);
}

void WineTest::SetUp() {
  char temp[MAX_PATH + 1] = {}, full[MAX_PATH + 1] = {};
  GetTempPathA(MAX_PATH, temp);
  GetLongPathNameA(temp, full, MAX_PATH);  // As the program reports its own path.
  root_ = std::string(full) + "quillet_" + std::to_string(GetCurrentProcessId()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::error_code error;
  fs::remove_all(root_, error);
  for (const char* folder : {"prog", "visu", "logs", "target"})
    fs::create_directories(Path(folder));
  ASSERT_TRUE(CopyFileA(WinePath(QUILLET_EXE).c_str(), Path("prog\\quillet.exe").c_str(), FALSE));
}

void WineTest::TearDown() {
  for (HANDLE file : held_) CloseHandle(file);
  EXPECT_TRUE(run_.Wait(0)) << "the run was still going at the end of the test";
  std::error_code error;
  if (!HasFailure()) fs::remove_all(root_, error);
}

void WineTest::WriteSettings(const std::string& sections, const std::string& project) {
  Write(Path("prog\\quillet.ini"),
        "[Project]\r\nTargetPath=" + Path("target") + "\r\n" + project + sections);
}

void WineTest::Start(const std::string& argument, const std::vector<std::string>& environment) {
  std::vector<std::string> settings = {"VisuDir=" + Path("visu"),
                                       "MorvaToolsDir=" + WinePath(QUILLET_TOOLS_DIR),
                                       "TempVisu=" + Path("visu")};
  settings.insert(settings.end(), environment.begin(), environment.end());
  ASSERT_TRUE(run_.Start("\"" + Path("prog\\quillet.exe") + "\" " + argument, root_, settings,
                         Path("output.txt")));
}

HWND WineTest::NextBox() {
  HWND box = nullptr;
  WaitUntil([&] { return (box = BoxOf(run_.Id())) != nullptr || run_.Wait(0); }, kTimeoutMs);
  return box;
}

std::vector<std::string> WineTest::AnswerBoxes() {
  std::vector<std::string> texts;
  // Far more boxes than any run shows end the answering too.
  for (HWND box = NextBox(); box != nullptr && texts.size() < 20; box = NextBox()) {
    texts.push_back(BoxText(box));
    PressOk(box);
  }
  EXPECT_TRUE(run_.Wait(kTimeoutMs)) << "the run did not end";
  return texts;
}

DWORD WineTest::End() {
  HWND box = NextBox();
  EXPECT_EQ(box, nullptr) << "the run showed a message: " << BoxText(box);
  EXPECT_TRUE(run_.Wait(0)) << "the run did not end";
  return run_.ExitCode();
}

void WineTest::HoldOpen(const std::string& relative, bool shared) {
  HANDLE file = CreateFileA(Path(relative).c_str(), shared ? GENERIC_WRITE : GENERIC_READ,
                            shared ? FILE_SHARE_READ | FILE_SHARE_WRITE : 0, nullptr, OPEN_EXISTING,
                            0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << relative;
  held_.push_back(file);
}

std::string WineTest::NewArchive() const {
  for (const std::string& name : List(Path("target"))) {
    if (name.rfind("1-", 0) == 0 && name.size() == 23) return name;
  }
  ADD_FAILURE() << "no new archive in " << Path("target");
  return "";
}

}  // namespace wine_test
