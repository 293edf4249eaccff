// Tests of quillet.exe's window automation under Wine: the screen picture in
// the archive, and the two clicks that make the HMI's debug window save its
// contents, watched from the receiving side through stand_in_hmi.exe.
//
// Every test drives the real pointer of the test display, so these tests must
// not run beside other programs that use the same display; the build marks
// them to run alone.
#include <windows.h>
#include <zlib.h>

#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "run_fixture.h"

namespace quillet_test {
namespace {

// How long a file or a window state that another process is about to produce
// may take to appear; the run under test has already ended by then.
constexpr DWORD kSettleMs = 3000;
// A run whose dialog never appears waits about five seconds for it; with a
// slow Wine start on top, a run still has to end well within this.
constexpr DWORD kNoDialogRunMs = 20000;

constexpr char kDebugTitle[] = "Visu DebugWindow";
constexpr char kDebugText[] = "debug line 1\r\ndebug line 2\r\n";
constexpr char kClicks[] = "hmi_clicks.txt";
constexpr char kSaved[] = "hmi_saved.txt";

// Where the HMI's buttons sit: Save from the debug window's outer left and
// bottom edges, and OK from its dialog's outer top-left corner.
constexpr int kSaveFromLeft = 176;
constexpr int kSaveFromBottom = 20;
constexpr int kOkFromLeft = 92;
constexpr int kOkFromTop = 72;
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

// The first `count` bytes of a deflated entry's content, or fewer when the
// entry is shorter or cannot be inflated.
std::string InflatePrefix(const std::string& archive, const ZipEntry& entry, std::size_t count) {
  const std::size_t local = entry.local_offset;
  if (local + 30 > archive.size() || ReadU32(archive, local) != 0x04034b50) return "";
  const std::size_t data = local + 30 + ReadU16(archive, local + 26) + ReadU16(archive, local + 28);
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

// Checks that `click` is a left click into `window` at (`x`, `y`) from the
// window's outer top-left corner, within the rounding of the pointer.
void ExpectClickAt(const Click& click, const std::string& window, int x, int y) {
  EXPECT_EQ(click.window, window);
  EXPECT_EQ(click.button, "left");
  EXPECT_NEAR(click.x, x, kClickTolerance) << window << " click at screen " << click.screen_x;
  EXPECT_NEAR(click.y, y, kClickTolerance) << window << " click at screen " << click.screen_y;
}

// The stand-in's ready marker, click log and saved contents lie at the top
// of the test's tree.
class DebugWindowTest : public RunFixture {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(RunFixture::SetUp());
    WriteSettings(kVisuLogSections);
  }

  // Starts the stand-in with `option` and waits until its debug window shows.
  void StartStandIn(const std::string& option = "") {
    const std::string ready = Path("hmi_ready.txt");
    ChildProcess* hmi =
        StartHelper("\"" + StandInHmiProgram() + "\" --ready \"" + ready + "\" --clicks \"" +
                    Path(kClicks) + "\" --save \"" + Path(kSaved) + "\" " + option);
    ASSERT_NE(hmi, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return PathExists(ready); }, kTimeoutMs))
        << "the stand-in never became ready; exit code " << hmi->exit_code();
    debug_ = FindProcessWindow(hmi->process_id(), "", kDebugTitle);
    ASSERT_NE(debug_, nullptr) << "no window titled " << kDebugTitle;
    // Measured before a run minimizes the window, since the Save button is
    // placed from its bottom edge.
    RECT outer = {};
    ASSERT_TRUE(GetWindowRect(debug_, &outer));
    save_y_ = outer.bottom - outer.top - kSaveFromBottom;
  }

  // The stand-in saves once it has handled the second click.
  bool Saved() const {
    return WaitUntil([&] { return PathExists(Path(kSaved)); }, kSettleMs);
  }
  bool Minimized() const {
    return WaitUntil([&] { return IsIconic(debug_) != FALSE; }, kSettleMs);
  }
  std::string ClickLog() const { return ReadTextFile(Path(kClicks)); }

  std::vector<Click> ReadClicks() const {
    std::vector<Click> clicks;
    std::istringstream log(ClickLog());
    Click click;
    while (log >> click.window >> click.button >> click.screen_x >> click.screen_y >> click.x >>
           click.y) {
      clicks.push_back(click);
    }
    return clicks;
  }

  HWND debug_ = nullptr;
  int save_y_ = 0;
};

TEST_F(DebugWindowTest, ClicksSaveInTheDebugWindowAndOkInItsDialog) {
  ASSERT_NO_FATAL_FAILURE(StartStandIn());
  EXPECT_TRUE(RunSucceeds());
  ASSERT_TRUE(Saved()) << "nothing saved; clicks:\n" << ClickLog();
  const std::vector<Click> clicks = ReadClicks();
  ASSERT_EQ(clicks.size(), 2u) << ClickLog();
  ExpectClickAt(clicks[0], "debug", kSaveFromLeft, save_y_);
  ExpectClickAt(clicks[1], "dialog", kOkFromLeft, kOkFromTop);
}

TEST_F(DebugWindowTest, SavedContentsAreTheDebugText) {
  ASSERT_NO_FATAL_FAILURE(StartStandIn());
  EXPECT_TRUE(RunSucceeds());
  ASSERT_TRUE(Saved()) << "nothing saved; clicks:\n" << ClickLog();
  EXPECT_EQ(ReadTextFile(Path(kSaved)), kDebugText);
}

TEST_F(DebugWindowTest, DebugWindowEndsMinimizedAndTheDialogClosed) {
  ASSERT_NO_FATAL_FAILURE(StartStandIn());
  EXPECT_FALSE(IsIconic(debug_));
  EXPECT_TRUE(RunSucceeds());
  EXPECT_TRUE(Minimized()) << "the debug window was not minimized";
  ASSERT_TRUE(Saved());
  EXPECT_EQ(FindWindowA(nullptr, "Save DebugWin contents"), nullptr);
}

TEST_F(DebugWindowTest, ArchiveHoldsPictureOfTheWholeScreen) {
  ASSERT_NO_FATAL_FAILURE(StartStandIn());
  EXPECT_TRUE(RunSucceeds());
  const std::string archive = OnlyArchive();
  const ZipEntry picture = ArchiveEntry(archive, "Screen.bmp");
  ASSERT_EQ(picture.name, "Screen.bmp");
  ASSERT_EQ(picture.method, Z_DEFLATED);
  const std::string header = InflatePrefix(ReadTextFile(Path("target\\" + archive)), picture, 54);
  ASSERT_EQ(header.size(), 54u);
  EXPECT_EQ(header.substr(0, 2), "BM");
  EXPECT_EQ(ReadU32(header, 14), 40u) << "not a BITMAPINFOHEADER";
  EXPECT_EQ(static_cast<int>(ReadU32(header, 18)), GetSystemMetrics(SM_CXSCREEN));
  EXPECT_EQ(static_cast<int>(ReadU32(header, 22)), GetSystemMetrics(SM_CYSCREEN));
}

TEST_F(DebugWindowTest, StatusWindowEndsTopmostAtOriginAfterSaving) {
  ASSERT_NO_FATAL_FAILURE(StartStandIn());
  ASSERT_NO_FATAL_FAILURE(Start(""));
  HWND box = WaitForBox();
  ASSERT_NE(box, nullptr);
  EXPECT_TRUE(StartsWithNoCase(MessageBoxText(box), "File saved in ")) << MessageBoxText(box);
  ASSERT_NE(TopmostStatusWindow(), nullptr);
  CloseBox(box);
  EXPECT_TRUE(EndsWithSuccess());
  EXPECT_TRUE(Saved()) << "the debug window's contents were not saved";
}

TEST_F(DebugWindowTest, WithoutDebugWindowTheMouseStaysPut) {
  const POINT parked = {611, 577};
  ASSERT_TRUE(SetCursorPos(parked.x, parked.y));
  POINT before = {};
  ASSERT_TRUE(GetCursorPos(&before));
  ASSERT_EQ(before.x, parked.x);
  ASSERT_EQ(before.y, parked.y);
  EXPECT_TRUE(RunSucceeds());
  POINT after = {};
  ASSERT_TRUE(GetCursorPos(&after));
  EXPECT_EQ(after.x, parked.x);
  EXPECT_EQ(after.y, parked.y);
  EXPECT_FALSE(OnlyArchive().empty());
}

TEST_F(DebugWindowTest, WithoutDialogOneClickAndABoundedWait) {
  ASSERT_NO_FATAL_FAILURE(StartStandIn("--no-dialog"));
  const DWORD start = GetTickCount();
  EXPECT_TRUE(RunSucceeds());
  EXPECT_LT(GetTickCount() - start, kNoDialogRunMs) << "the run waited too long for the dialog";
  const std::vector<Click> clicks = ReadClicks();
  ASSERT_EQ(clicks.size(), 1u) << ClickLog();
  ExpectClickAt(clicks[0], "debug", kSaveFromLeft, save_y_);
  EXPECT_FALSE(PathExists(Path(kSaved)));
  EXPECT_TRUE(Minimized()) << "the debug window was not minimized";
}

}  // namespace
}  // namespace quillet_test
