// Runs the Linux build of quillet over real folder trees, as a technician or
// a calling program would.
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <thread>
#include <vector>

#include "tests/native/test_files.h"

namespace quillet::native_test {
namespace {

class NativeRunTest : public TreeTest {
 protected:
  void WriteSettings(const std::string& project_extra = "",
                     const std::string& program = "$VisuDir$\\Task.bat") {
    const std::string r = root_.string();
    Write(root_ / "prog" / "quillet.ini",
          "[Project]\nTargetPath=" + r + "/target\n" + project_extra +
              "[StartExeFilesXP]\n1=" + program + "\n[LogFilesXP]\n1=" + r +
              "/logs/*.log\n2=$VisuDir$\\Task.log\n[LogFilesVW]\n1=" + r +
              "/hmi/Debug?.txt\n[DeleteFilesXP]\n1=" + r + "/logs/old*.log\n");
    Write(root_ / "logs" / "app.log", "application log\n");
    Write(root_ / "logs" / "old1.log", "old log\n");
    Write(root_ / "hmi" / "Debug1.txt", "debug\n");
  }
  std::vector<std::string> Names(const fs::path& folder) const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  // Every path below the tree with its size, to show that nothing changed.
  std::string Snapshot() const {
    std::string text;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
      const std::string name = entry.path().filename().string();
      if (name == "out.txt" || name == "err.txt") continue;
      text += entry.path().string() +
              (entry.is_regular_file() ? " " + std::to_string(entry.file_size()) + "\n" : "\n");
    }
    return text;
  }
  static int Mode(const fs::path& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 0777) : -1;
  }
};

TEST_F(NativeRunTest, ARunRotatesPacksPrivatelyKeepsDatesAndWritesPathsTheLinuxWay) {
  WriteSettings("Report=true\n");
  for (int d = 1; d <= 9; ++d)
    Write(root_ / "target" / (std::to_string(d) + "-01.0" + std::to_string(d) + ".26-10.00.00.Zip"),
          "old");
  const auto stamp = fs::last_write_time(root_ / "target" / "5-01.05.26-10.00.00.Zip");
  fs::last_write_time(root_ / "logs" / "app.log", fs::last_write_time(root_ / "logs" / "app.log") -
                                                      std::chrono::hours(24 * 400));
  ASSERT_EQ(Run(""), 0) << err_;
  const std::vector<std::string> names = Names(root_ / "target");
  ASSERT_EQ(names.size(), 9u);
  const fs::path archive = root_ / "target" / names[0];
  EXPECT_EQ(out_, "File saved in " + archive.string() + "\n");
  EXPECT_EQ(names[1], "2-01.01.26-10.00.00.Zip");
  EXPECT_EQ(names[8], "9-01.08.26-10.00.00.Zip");
  EXPECT_EQ(fs::last_write_time(root_ / "target" / "6-01.05.26-10.00.00.Zip"), stamp);
  EXPECT_EQ(Mode(archive), 0600);
  EXPECT_FALSE(fs::exists(root_ / "logs" / "old1.log"));
  EXPECT_TRUE(fs::exists(root_ / "logs" / "app.log"));
  EXPECT_EQ(ReadAll(root_ / "prog" / "test.log"), "app.log\r\nTask.log\r\nDebug1.txt\r\n");
  // The process list names the run, with its one thread and its memory.
  const std::string task = ReadAll(root_ / "visu" / "Task.log");
  EXPECT_TRUE(std::regex_search(
      task, std::regex("\n[0-9]+\t[0-9]+\t1\t[1-9][0-9]*\tquillet\tprog/quillet\n")))
      << task;
  // The programs the run starts make files as the system's default says.
  const mode_t mask = umask(0);
  umask(mask);
  EXPECT_EQ(Mode(root_ / "visu" / "Task.log"), static_cast<int>(0666 & ~mask));
  EXPECT_EQ(ReadAll(root_ / "visu" / "Task.bat"),
            std::string(QUILLET_TOOLS_DIR) + "/Quillet/PStatXP.exe > " +
                (root_ / "visu" / "Task.log").string() + "\r\n");
  // The archive holds what was collected, dated when each log was written,
  // and a report whose paths are written with "/" alone.
  Write(root_ / "check.py", R"(
import json, os, sys, time, zipfile
z = zipfile.ZipFile(sys.argv[1])
assert sorted(z.namelist()) == ['Debug1.txt', 'Quillet-Journal.txt', 'Quillet-Report.json',
    'Quillet-Settings.ini', 'Task.log', 'app.log', 'old1.log'], z.namelist()
t = time.localtime(os.path.getmtime(sys.argv[2]))
assert z.getinfo('app.log').date_time == (t.tm_year, t.tm_mon, t.tm_mday, t.tm_hour, t.tm_min,
    t.tm_sec // 2 * 2), z.getinfo('app.log').date_time
r = json.loads(z.read('Quillet-Report.json'))
paths = [r['settings_file'], r['target_path']] + [p['pattern'] for p in r['log_patterns']]
paths += [f['source'] for f in r['staged_files']] + [p['pattern'] for p in r['delete_patterns']]
assert all('\\' not in p for p in paths), paths
assert [p['matches'] for p in r['log_patterns']] == [2, 1, 1], r['log_patterns']
assert r['start_programs'][0]['exit_code'] == 0
)");
  EXPECT_EQ(Shell("python3 '" + (root_ / "check.py").string() + "' '" + archive.string() + "' '" +
                  (root_ / "logs" / "app.log").string() + "'"),
            0);
  EXPECT_EQ(err_.find('\\'), std::string::npos) << err_;
}

TEST_F(NativeRunTest, ACopyReadsTheSettingsOfItsOwnName) {
  // A name longer than the kernel keeps for a process, which the process
  // list completes from the program's path.
  const std::string other = "quillet-for-the-line";
  fs::copy_file(root_ / "prog" / "quillet", root_ / "prog" / other);
  Write(root_ / "prog" / (other + ".ini"),
        "[project]\ntargetpath = \"" + root_.string() +
            "/out\"\n[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n");
  // The words of the command line stay apart: these two are no option.
  EXPECT_EQ(Run("--VER SION", other), 0) << err_;
  EXPECT_TRUE(fs::exists(root_ / "out"));
  EXPECT_NE(ReadAll(root_ / "visu" / "Task.log").find("\t" + other + "\tprog/" + other),
            std::string::npos);
  EXPECT_EQ(Run("x"), 2);
  EXPECT_NE(err_.find((root_ / "prog" / "quillet.ini").string()), std::string::npos) << err_;
}

TEST_F(NativeRunTest, ASecondRunWhileOneRunsChangesNothing) {
  // The first run's start list waits until the test lets it go on.
  WriteSettings("", "$VisuDir$\\wait.bat");
  const std::string r = root_.string();
  Write(root_ / "visu" / "wait.bat",
        "touch '" + r + "/waiting'\nwhile [ ! -f '" + r + "/go' ]; do sleep 0.05; done\n");
  std::thread first([this] { EXPECT_EQ(Run("x"), 0) << err_; });
  for (int i = 0; i < 600 && !fs::exists(root_ / "waiting"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const std::string before = Snapshot();
  const int second = Shell("cd '" + r + "' && env -u DISPLAY TMPDIR='" + r + "' prog/quillet x " +
                           "</dev/null >/dev/null 2>second.txt");
  const std::string said = ReadAll(root_ / "second.txt");
  fs::remove(root_ / "second.txt");
  EXPECT_EQ(Snapshot(), before);
  Write(root_ / "go", "");
  first.join();
  EXPECT_EQ(second, 5);
  EXPECT_NE(said.find("Another Quillet collection is running"), std::string::npos) << said;
  EXPECT_EQ(Names(root_ / "target").size(), 1u);
}

TEST_F(NativeRunTest, UnderAnXDisplayTheArchiveHoldsAScreenshotOfItsSize) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || *display == '\0') {
    if (std::getenv("CI") != nullptr)
      FAIL() << "CI runs this test under xvfb-run; DISPLAY is unset";
    GTEST_SKIP() << "no X display (run under xvfb-run)";
  }
  WriteSettings();
  ASSERT_EQ(Run("x", "quillet", std::string("DISPLAY='") + display + "'"), 0) << err_;
  const std::string archive = (root_ / "target" / Names(root_ / "target")[0]).string();
  const std::string size = (root_ / "size.txt").string();
  ASSERT_EQ(Shell("cd " + root_.string() + " && unzip -o -q " + archive + " Screen.bmp && " +
                  "identify -format '%w %h\\n' Screen.bmp > " + size + " && xdpyinfo | " +
                  "awk '/dimensions:/ {split($2, d, \"x\"); print d[1], d[2]}' >> " + size),
            0);
  // The picture is the screen's, pixel for pixel.
  EXPECT_EQ(Shell("cd " + root_.string() + " && import -window root root.png && " +
                  "compare -metric AE Screen.bmp root.png null: 2>/dev/null"),
            0);
  std::istringstream figures(ReadAll(size));
  int width = 0, height = 0, screen_width = -1, screen_height = -1;
  figures >> width >> height >> screen_width >> screen_height;
  EXPECT_GT(width, 0);
  EXPECT_EQ(width, screen_width);
  EXPECT_EQ(height, screen_height);
}

}  // namespace
}  // namespace quillet::native_test
