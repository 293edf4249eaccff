// Tests of quillet.exe's window automation under Wine: the screen picture in
// the archive, and the two clicks that make the HMI's debug window save its
// contents, watched from the receiving side through stand_in_hmi.exe.
//
// Every test drives the real pointer of the test display, so these tests must
// not run beside other programs that use the same display; the build marks
// them to run alone.
#include <windows.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "win_test_util.h"

namespace quillet_test {
namespace {

// Long enough for a slow Wine start on a loaded machine, short enough that a
// hanging child fails its test well within the test's own time limit.
constexpr DWORD kTimeoutMs = 60000;
// How long a file or a window state that another process is about to produce
// may take to appear; the run under test has already ended by then.
constexpr DWORD kSettleMs = 3000;
constexpr DWORD kPollMs = 50;

// A run whose dialog never appears waits about five seconds for it; with a
// slow Wine start on top, a run still has to end well within this.
constexpr DWORD kNoDialogRunMs = 20000;

constexpr char kStatusCaption[] = "Quilletfiles";
constexpr char kDebugTitle[] = "Visu DebugWindow";
constexpr char kDebugText[] = "debug line 1\r\ndebug line 2\r\n";
// The class of every dialog box, message boxes included.
constexpr char kDialogClass[] = "#32770";
constexpr DWORD kExitOk = 0;

// The pixel error that absolute mouse coordinates may bring under Wine.
constexpr int kClickTolerance = 2;

// One line of the stand-in's click log.
struct Click {
  std::string window;  // "debug" or "dialog".
  std::string button;
  int screen_x = 0;
  int screen_y = 0;
  int x = 0;  // From the window's outer left edge.
  int y = 0;  // From the window's outer top edge.
};

// One entry of a zip archive's central directory.
struct ZipEntry {
  std::string name;
  int method = 0;
  std::uint32_t compressed_size = 0;
  std::uint32_t local_offset = 0;
};

// The program under test and the tools folder of the build, as the other
// Wine end-to-end tests find them.
std::string ProgramUnderTest() {
  if (const char* path = std::getenv("QUILLET_E2E_EXE")) {
    if (*path != '\0') return WinePathFromLinux(path);
  }
  return WinePathFromLinux(QUILLET_EXE_PATH);
}

std::string ToolsFolder() {
  if (const char* path = std::getenv("QUILLET_E2E_TOOLS_DIR")) {
    if (*path != '\0') return WinePathFromLinux(path);
  }
  return WinePathFromLinux(QUILLET_TOOLS_DIR_PATH);
}

// The whole content of a file, shared with a writer that still has it open;
// empty when the file cannot be read.
std::string ReadWholeFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  std::string content;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    content.append(buffer, got);
  }
  CloseHandle(file);
  return content;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Waits at most `timeout_ms` for `path` to exist.
bool WaitForFile(const std::string& path, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!FileExists(path)) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(kPollMs);
  }
  return true;
}

// Waits at most `timeout_ms` for `window` to be minimized.
bool WaitForIconic(HWND window, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  while (!IsIconic(window)) {
    if (GetTickCount() - start >= timeout_ms) return false;
    Sleep(kPollMs);
  }
  return true;
}

std::uint32_t Read16(const std::string& data, std::size_t at) {
  return static_cast<std::uint8_t>(data[at]) | static_cast<std::uint8_t>(data[at + 1]) << 8;
}

std::uint32_t Read32(const std::string& data, std::size_t at) {
  return Read16(data, at) | Read16(data, at + 2) << 16;
}

// The entries that the central directory of `archive` lists; empty when its
// end record cannot be found. The archives of a run hold no comment and no
// ZIP64 records, so the end record is the last 22 bytes.
std::vector<ZipEntry> ReadCentralDirectory(const std::string& archive) {
  std::vector<ZipEntry> entries;
  if (archive.size() < 22 || Read32(archive, archive.size() - 22) != 0x06054b50) return entries;
  const std::size_t count = Read16(archive, archive.size() - 22 + 10);
  std::size_t at = Read32(archive, archive.size() - 22 + 16);
  for (std::size_t i = 0; i < count && at + 46 <= archive.size(); ++i) {
    if (Read32(archive, at) != 0x02014b50) break;
    const std::size_t name_length = Read16(archive, at + 28);
    ZipEntry entry;
    entry.method = static_cast<int>(Read16(archive, at + 10));
    entry.compressed_size = Read32(archive, at + 20);
    entry.local_offset = Read32(archive, at + 42);
    entry.name = archive.substr(at + 46, name_length);
    entries.push_back(entry);
    at += 46 + name_length + Read16(archive, at + 30) + Read16(archive, at + 32);
  }
  return entries;
}

// The first `count` bytes of a deflated entry's content, or fewer when the
// entry is shorter or cannot be inflated.
std::string InflatePrefix(const std::string& archive, const ZipEntry& entry, std::size_t count) {
  const std::size_t local = entry.local_offset;
  if (local + 30 > archive.size() || Read32(archive, local) != 0x04034b50) return "";
  const std::size_t data = local + 30 + Read16(archive, local + 26) + Read16(archive, local + 28);
  if (data + entry.compressed_size > archive.size()) return "";
  std::string out(count, '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return "";
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(archive.data() + data));
  stream.avail_in = entry.compressed_size;
  stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
  stream.avail_out = static_cast<uInt>(count);
  inflate(&stream, Z_SYNC_FLUSH);
  out.resize(count - stream.avail_out);
  inflateEnd(&stream);
  return out;
}

// Each test has a folder of its own: quillet.exe and its settings at the top,
// the archive folder "target", "visu" as $VisuDir$ with one log file to
// collect, and the stand-in's ready marker, click log and saved contents.
class DebugWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder_.path().empty()) << "no temporary folder";
    target_ = folder_.Join("target");
    visu_ = folder_.Join("visu");
    ASSERT_TRUE(CreateDirectoryA(target_.c_str(), nullptr)) << target_;
    ASSERT_TRUE(CreateDirectoryA(visu_.c_str(), nullptr)) << visu_;
    ASSERT_TRUE(WriteTextFile(visu_ + "\\app.log", "collected\r\n"));
    const std::string program = ProgramUnderTest();
    ASSERT_TRUE(CopyFileA(program.c_str(), folder_.Join("quillet.exe").c_str(), FALSE))
        << "cannot copy " << program << ", error " << GetLastError();
    ASSERT_TRUE(
        WriteTextFile(folder_.Join("quillet.ini"), "[Project]\r\nTargetPath=" + target_ +
                                                       "\r\n[LogFilesXP]\r\n1=$VisuDir$\\*.log\r\n"
                                                       "[LogFilesNT]\r\n1=$VisuDir$\\*.log\r\n"));
  }

  void TearDown() override {
    // No child may outlive its test, whatever the test's outcome; the folder
    // can only be removed once nobody holds its files open.
    if (quillet_.running()) ADD_FAILURE() << "quillet.exe was still running at the end";
    quillet_.Terminate();
    hmi_.Terminate();
  }

  // Starts the stand-in with `option` (when not empty) and waits until its
  // debug window shows; returns that window, or nullptr with a failure.
  HWND StartStandIn(const std::string& option) {
    std::string line = "\"" + WinePathFromLinux(STAND_IN_HMI_PATH) + "\" --ready \"" +
                       folder_.Join("hmi_ready.txt") + "\" --clicks \"" + ClicksPath() +
                       "\" --save \"" + SavePath() + "\"";
    if (!option.empty()) line += " " + option;
    if (!hmi_.Start(line, folder_.path(), {})) {
      ADD_FAILURE() << hmi_.error();
      return nullptr;
    }
    if (!WaitForFile(folder_.Join("hmi_ready.txt"), kTimeoutMs)) {
      ADD_FAILURE() << "the stand-in never became ready; exit code " << hmi_.exit_code();
      return nullptr;
    }
    HWND window = FindProcessWindow(hmi_.process_id(), "", kDebugTitle);
    if (window == nullptr) ADD_FAILURE() << "no window titled " << kDebugTitle;
    return window;
  }

  // Starts quillet.exe with `argument` (none when empty). The directory
  // variables that a run writes to point into the test's folder.
  void StartQuillet(const std::string& argument) {
    std::string line = "\"" + folder_.Join("quillet.exe") + "\"";
    if (!argument.empty()) line += " " + argument;
    const std::vector<std::string> environment = {
        "VisuDir=" + visu_,
        "MorvaToolsDir=" + ToolsFolder(),
        "TempVisu=" + folder_.Join("temp"),
    };
    ASSERT_TRUE(quillet_.Start(line, folder_.path(), environment)) << quillet_.error();
  }

  // Runs quillet.exe with an argument to its end; a dialog box of its own on
  // the way fails the test, since nobody would be there to close it.
  void RunUnattended() {
    ASSERT_NO_FATAL_FAILURE(StartQuillet("x"));
    bool saw_dialog = false;
    const bool ended = quillet_.WaitWithoutDialog(kTimeoutMs, &saw_dialog);
    EXPECT_FALSE(saw_dialog) << "quillet.exe showed a dialog box";
    EXPECT_TRUE(ended || saw_dialog) << "quillet.exe did not end within " << kTimeoutMs << " ms";
    quillet_.Terminate();
    EXPECT_EQ(quillet_.exit_code(), kExitOk) << "standard error: " << quillet_.StandardError();
  }

  // The presses that the stand-in logged so far, in their order.
  std::vector<Click> ReadClicks() const {
    std::vector<Click> clicks;
    const std::string log = ReadWholeFile(ClicksPath());
    for (std::size_t at = 0; at < log.size();) {
      std::size_t end = log.find('\n', at);
      if (end == std::string::npos) end = log.size();
      char window[16] = {}, button[16] = {};
      Click click;
      if (std::sscanf(log.substr(at, end - at).c_str(), "%15s %15s %d %d %d %d", window, button,
                      &click.screen_x, &click.screen_y, &click.x, &click.y) == 6) {
        click.window = window;
        click.button = button;
        clicks.push_back(click);
      }
      at = end + 1;
    }
    return clicks;
  }

  // The one archive that the run left in the target folder, read whole.
  std::string ReadOnlyArchive() const {
    const std::vector<std::string> names = ListFolder(target_);
    if (names.size() != 1 || !StartsWithNoCase(names[0], "1-")) {
      ADD_FAILURE() << "expected one archive 1-*.Zip, found " << names.size() << " entries";
      return "";
    }
    return ReadWholeFile(target_ + "\\" + names[0]);
  }

  std::string ClicksPath() const { return folder_.Join("hmi_clicks.txt"); }
  std::string SavePath() const { return folder_.Join("hmi_saved.txt"); }

  TempFolder folder_;
  std::string target_;
  std::string visu_;
  ChildProcess hmi_;
  ChildProcess quillet_;
};

// Checks that `click` is a left click into `window` at (`x`, `y`) from the
// window's outer top-left corner, within the rounding of the pointer.
void ExpectClickAt(const Click& click, const std::string& window, int x, int y) {
  EXPECT_EQ(click.window, window);
  EXPECT_EQ(click.button, "left");
  EXPECT_NEAR(click.x, x, kClickTolerance) << window << " click at screen " << click.screen_x;
  EXPECT_NEAR(click.y, y, kClickTolerance) << window << " click at screen " << click.screen_y;
}

TEST_F(DebugWindowTest, ClicksSaveInTheDebugWindowAndOkInItsDialog) {
  HWND debug = StartStandIn("");
  ASSERT_NE(debug, nullptr);
  RECT outer = {};
  ASSERT_TRUE(GetWindowRect(debug, &outer));
  RunUnattended();
  // The contents appear once the stand-in has handled the second click.
  ASSERT_TRUE(WaitForFile(SavePath(), kSettleMs)) << "nothing saved; clicks:\n"
                                                  << ReadWholeFile(ClicksPath());
  const std::vector<Click> clicks = ReadClicks();
  ASSERT_EQ(clicks.size(), 2u) << ReadWholeFile(ClicksPath());
  ExpectClickAt(clicks[0], "debug", 176, (outer.bottom - outer.top) - 20);
  ExpectClickAt(clicks[1], "dialog", 92, 72);
}

TEST_F(DebugWindowTest, SavedContentsAreTheDebugText) {
  ASSERT_NE(StartStandIn(""), nullptr);
  RunUnattended();
  ASSERT_TRUE(WaitForFile(SavePath(), kSettleMs)) << "nothing saved; clicks:\n"
                                                  << ReadWholeFile(ClicksPath());
  EXPECT_EQ(ReadWholeFile(SavePath()), kDebugText);
}

TEST_F(DebugWindowTest, DebugWindowEndsMinimizedAndTheDialogClosed) {
  HWND debug = StartStandIn("");
  ASSERT_NE(debug, nullptr);
  EXPECT_FALSE(IsIconic(debug));
  RunUnattended();
  EXPECT_TRUE(WaitForIconic(debug, kSettleMs)) << "the debug window was not minimized";
  ASSERT_TRUE(WaitForFile(SavePath(), kSettleMs));
  EXPECT_EQ(FindWindowA(nullptr, "Save DebugWin contents"), nullptr);
}

TEST_F(DebugWindowTest, ArchiveHoldsPictureOfTheWholeScreen) {
  ASSERT_NE(StartStandIn(""), nullptr);
  RunUnattended();
  const std::vector<ZipEntry> entries = ReadCentralDirectory(ReadOnlyArchive());
  const ZipEntry* picture = nullptr;
  for (const ZipEntry& entry : entries) {
    if (entry.name == "Screen.bmp") picture = &entry;
  }
  ASSERT_NE(picture, nullptr) << "no Screen.bmp among " << entries.size() << " entries";
  ASSERT_EQ(picture->method, Z_DEFLATED);
  const std::string header = InflatePrefix(ReadOnlyArchive(), *picture, 54);
  ASSERT_EQ(header.size(), 54u);
  EXPECT_EQ(header.substr(0, 2), "BM");
  EXPECT_EQ(Read32(header, 14), 40u) << "not a BITMAPINFOHEADER";
  EXPECT_EQ(static_cast<int>(Read32(header, 18)), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(static_cast<int>(Read32(header, 22)), GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(DebugWindowTest, StatusWindowEndsTopmostAtOriginAfterSaving) {
  ASSERT_NE(StartStandIn(""), nullptr);
  ASSERT_NO_FATAL_FAILURE(StartQuillet(""));
  HWND box =
      WaitForProcessWindow(quillet_.handle(), quillet_.process_id(), kDialogClass, "", kTimeoutMs);
  ASSERT_NE(box, nullptr) << "no closing message; standard error: " << quillet_.StandardError();
  EXPECT_TRUE(StartsWithNoCase(MessageBoxText(box), "File saved in ")) << MessageBoxText(box);
  HWND status = FindProcessWindow(quillet_.process_id(), "", kStatusCaption);
  ASSERT_NE(status, nullptr) << "no visible window titled " << kStatusCaption;
  RECT outer = {};
  ASSERT_TRUE(GetWindowRect(status, &outer));
  EXPECT_EQ(outer.left, 0);
  EXPECT_EQ(outer.top, 0);
  EXPECT_NE(GetWindowLongA(status, GWL_EXSTYLE) & WS_EX_TOPMOST, 0);
  PressOk(box);
  EXPECT_TRUE(quillet_.Wait(kTimeoutMs)) << "quillet.exe did not end after OK";
  EXPECT_EQ(quillet_.exit_code(), kExitOk);
  EXPECT_TRUE(WaitForFile(SavePath(), kSettleMs)) << "the debug window's contents were not saved";
}

TEST_F(DebugWindowTest, WithoutDebugWindowTheMouseStaysPut) {
  const POINT parked = {611, 577};
  ASSERT_TRUE(SetCursorPos(parked.x, parked.y));
  POINT before = {};
  ASSERT_TRUE(GetCursorPos(&before));
  ASSERT_EQ(before.x, parked.x);
  ASSERT_EQ(before.y, parked.y);
  RunUnattended();
  POINT after = {};
  ASSERT_TRUE(GetCursorPos(&after));
  EXPECT_EQ(after.x, parked.x);
  EXPECT_EQ(after.y, parked.y);
  EXPECT_FALSE(ReadOnlyArchive().empty());
}

TEST_F(DebugWindowTest, WithoutDialogOneClickAndABoundedWait) {
  HWND debug = StartStandIn("--no-dialog");
  ASSERT_NE(debug, nullptr);
  RECT outer = {};
  ASSERT_TRUE(GetWindowRect(debug, &outer));
  const DWORD start = GetTickCount();
  RunUnattended();
  EXPECT_LT(GetTickCount() - start, kNoDialogRunMs) << "the run waited too long for the dialog";
  const std::vector<Click> clicks = ReadClicks();
  ASSERT_EQ(clicks.size(), 1u) << ReadWholeFile(ClicksPath());
  ExpectClickAt(clicks[0], "debug", 176, (outer.bottom - outer.top) - 20);
  EXPECT_FALSE(FileExists(SavePath()));
  EXPECT_TRUE(WaitForIconic(debug, kSettleMs)) << "the debug window was not minimized";
}

}  // namespace
}  // namespace quillet_test
