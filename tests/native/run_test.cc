// Runs the Linux build of quillet over real folder trees, as a technician or a calling program
// would, also against hung programs and full disks.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/files_and_zips.h"

namespace quillet::native_test {
namespace {

namespace fs = std::filesystem;

using test_support::ListFolder;
using test_support::ReadAll;
using test_support::Write;

// Runs `command` through the shell; its exit code, or -1 when it did not exit.
int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when no process of the process group `group` runs any more: pgrep is asked for every
// state but a zombie's. A zombie only waits to be reaped (an orphan's may wait for ever here)
// and has closed its files already.
bool GroupGone(int group) {
  return Shell("pgrep -g " + std::to_string(group) + " -r D,R,S,T,t,W,I >/dev/null") == 1;
}

// Each test has a tree of its own, named as no other: "prog" holds the program under test,
// "visu" stands for the HMI's folder, "the target" (a blank in the packer's words) the archives.
// The runs use the tree as their temporary folder, so their lock is theirs; it stays on failure.
class NativeRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Named after the test process, to tell a killed test's tree from a live one's.
    std::string pattern = ::testing::TempDir() + "quillet-" + std::to_string(getpid()) + "-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const char* folder : {"visu", "prog"}) fs::create_directories(root_ / folder);
    fs::copy_file(QUILLET_BINARY, root_ / "prog" / "quillet", fs::copy_options::none);
  }
  void TearDown() override {
    umount2((root_ / "the target").c_str(), MNT_DETACH);  // A small target's, if there is one.
    if (!HasFailure()) fs::remove_all(root_);
  }
  // The shell command that runs prog/`program` from the tree's top as a scheduler would: no
  // terminal, no X display; the program takes the shell's place.
  std::string Command(const std::string& args, const std::string& program = "quillet") {
    const std::string r = root_.string();
    return "cd '" + r + "' && exec env -u DISPLAY TMPDIR='" + r + "' MorvaToolsDir='" +
           QUILLET_TOOLS_DIR + "' VisuDir='" + r + "/visu' prog/" + program + " " + args +
           " </dev/null >out.txt 2>err.txt";
  }
  int Run(const std::string& args, const std::string& program = "quillet") {
    const int code = Shell(Command(args, program));
    out_ = ReadAll(root_ / "out.txt");
    err_ = ReadAll(root_ / "err.txt");
    return code;
  }
  // Settings that collect logs/*.log, then `logs` and delete `deletions`.
  void WriteSettings(const std::string& project_extra, const std::string& logs = "",
                     const std::string& deletions = "/logs/*.log") {
    const std::string r = root_.string();
    Write(root_ / "prog" / "quillet.ini",
          "[Project]\nTargetPath=" + r + "/the target\n" + project_extra + "[LogFilesXP]\n1=" + r +
              "/logs/*.log\n" + logs + "[DeleteFilesXP]\n1=" + r + deletions + "\n");
  }
  static int Mode(const fs::path& path) {
    return static_cast<int>(fs::status(path).permissions() & fs::perms::all);
  }

  fs::path root_;
  std::string out_, err_;
};

TEST_F(NativeRunTest, OneRunAtATimeRotatesPacksPrivatelyAndWritesPathsTheLinuxWay) {
  WriteSettings(
      "Report=true\n[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n2=$VisuDir$\\dump.exe\n",
      "2=$VisuDir$\\Task.log\n[LogFilesVW]\n1=hmi/Debug?.txt\n",  // In the run's own folder.
      "/logs/old*.log");
  for (char d = '1'; d <= '9'; ++d)
    Write(root_ / "the target" / (d + std::string("-01.0") + d + ".26-10.00.00.Zip"), "old");
  // A Windows program that Linux cannot run: it ends with its own code, not as a second run.
  Write(root_ / "visu" / "dump.exe", "MZ");
  fs::permissions(root_ / "visu" / "dump.exe", fs::perms::owner_exec, fs::perm_options::add);
  for (const char* file : {"logs/app.log", "logs/old1.log", "hmi/Debug1.txt", "elsewhere/keep.txt",
                           "the target/Log/sub/keep.txt", "the target/Log/.notes"})
    Write(root_ / file, file);
  // No deletion goes through a link: not the clearing of numbered folders, not the staging
  // folder's, which keeps what the archive does not hold.
  fs::create_directory_symlink(root_ / "elsewhere", root_ / "the target" / "3-link");
  fs::create_directory_symlink(root_ / "elsewhere", root_ / "the target" / "Log" / "linked");
  // A lock that is there but cannot be opened counts as held.
  fs::create_symlink("quillet.lock", root_ / "quillet.lock");
  EXPECT_EQ(Run("x"), 5);
  EXPECT_NE(err_.find("cannot be opened (Too many levels of symbolic links)"), std::string::npos)
      << err_;
  fs::remove(root_ / "quillet.lock");
  // While another run holds the lock in the temporary folder, even shared, a run changes nothing.
  const int other = open((root_ / "quillet.lock").c_str(), O_CREAT | O_RDWR, 0600);
  ASSERT_EQ(flock(other, LOCK_SH), 0);
  EXPECT_EQ(Run("x"), 5);
  close(other);
  EXPECT_NE(err_.find("Another Quillet collection is running"), std::string::npos) << err_;
  EXPECT_FALSE(fs::exists(root_ / "prog" / "test.log") || fs::exists(root_ / "visu" / "Task.bat"));
  ASSERT_EQ(Run(""), 0) << err_;
  const std::vector<std::string> names = ListFolder(root_ / "the target");
  ASSERT_EQ(names.size(), 11u);
  const fs::path archive = root_ / "the target" / names[0];
  EXPECT_EQ(out_, "File saved in " + archive.string() +
                      ". The archive does not hold what stays in " +
                      (root_ / "the target" / "Log").string() + ": .notes, linked, sub.\n");
  EXPECT_EQ(names[1], "2-01.01.26-10.00.00.Zip");
  EXPECT_EQ(names[9], "9-01.08.26-10.00.00.Zip");
  EXPECT_EQ(ListFolder(root_ / "elsewhere"), std::vector<std::string>{"keep.txt"});
  EXPECT_EQ(Mode(archive), 0600);
  EXPECT_FALSE(fs::exists(root_ / "logs" / "old1.log"));
  EXPECT_TRUE(fs::exists(root_ / "logs" / "app.log"));
  EXPECT_EQ(ReadAll(root_ / "prog" / "test.log")
                .rfind("app.log\r\nTask.log\r\nDebug1.txt\r\nKept:" + root_.string() +
                           "/the target/Log/.notes (",
                       0),
            0u);
  // The process list names the run, with its one thread and its memory.
  const std::string task = ReadAll(root_ / "visu" / "Task.log");
  EXPECT_TRUE(std::regex_search(
                  task, std::regex("\n[0-9]+\t[0-9]+\t1\t[1-9][0-9]*\tquillet\tprog/quillet\n")) &&
              task.find('\0') == std::string::npos && task.back() == '\n')
      << task;
  // Command lines may hold passwords: the process list is for its owner only.
  EXPECT_EQ(Mode(root_ / "visu" / "Task.log"), 0600);
  EXPECT_EQ(ReadAll(root_ / "visu" / "Task.bat"),
            std::string(QUILLET_TOOLS_DIR) + "/Quillet/PStatXP.exe > " +
                (root_ / "visu" / "Task.log").string() + "\r\n");
  // The archive holds what was collected and a report that writes paths with "/".
  std::map<std::string, std::string> entries = test_support::ReadZip(archive.string());
  std::string held;
  for (const auto& entry : entries) held += entry.first + " ";
  EXPECT_EQ(held,
            "Debug1.txt Quillet-Journal.txt Quillet-Report.html Quillet-Report.json "
            "Quillet-Settings.ini Task.log app.log old1.log ");
  const std::string& report = entries["Quillet-Report.json"];
  EXPECT_FALSE(std::regex_search(
      report, std::regex("\"(settings_file|target_path|pattern|source)\": \"[^\"]*\\\\")))
      << report;
  EXPECT_NE(report.find("\"exit_code\": 0"), std::string::npos) << report;
  EXPECT_NE(report.find("\"exit_code\": 127"), std::string::npos) << report;
  EXPECT_EQ(err_.find('\\'), std::string::npos) << err_;
}

TEST_F(NativeRunTest, ARunKilledAtAnyInstantLosesNothingAndLeavesNoStray) {
  WriteSettings("");
  constexpr int kKills = 7;
  std::chrono::steady_clock::duration whole{};
  // Each new log meets a run killed with all it started (its process group) at an instant
  // further into a run's length than the last, then a run that is not killed. After that the
  // target holds archives only, one of them the log's bytes, and the log is gone from its folder.
  for (int k = 0; k <= kKills && !HasFatalFailure(); ++k) {
    const std::string name = "log" + std::to_string(k) + ".log";
    const std::string content = name + test_support::Noise(2 << 20);
    Write(root_ / "logs" / name, content);
    const pid_t pid = k == 0 ? 0 : fork();
    if (pid == 0 && k > 0) {
      setpgid(0, 0);
      execl("/bin/sh", "sh", "-c", Command("x").c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    if (pid > 0) {
      setpgid(pid, pid);
      std::this_thread::sleep_for(whole * (2 * k - 1) / (2 * kKills));
      kill(-pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      // Its group may outlast it a moment: a program it was starting holds a copy of its lock.
      for (int i = 0; i < 1000 && !GroupGone(pid); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Run("x"), 0) << err_;
    whole = std::chrono::steady_clock::now() - start;
    int held = 0;
    for (const std::string& archive : ListFolder(root_ / "the target")) {
      ASSERT_TRUE(std::regex_match(archive, std::regex("[1-9]-[0-9.]{8}-[0-9.]{8}\\.Zip")));
      for (const auto& entry : test_support::ReadZip((root_ / "the target" / archive).string()))
        held += entry.second == content;
    }
    EXPECT_GE(held, 1) << name;
    EXPECT_EQ(ListFolder(root_ / "logs"), std::vector<std::string>{});
  }
}

TEST_F(NativeRunTest, ACopyReadsTheSettingsOfItsOwnName) {
  // A name longer than the kernel keeps, which the process list completes from the path.
  const std::string other = "quillet-for-the-line";
  fs::copy_file(root_ / "prog" / "quillet", root_ / "prog" / other);
  Write(root_ / "prog" / (other + ".ini"),
        "[project]\ntargetpath = \"" + root_.string() +
            "/out\"\n[StartExeFilesXP]\n1=$VisuDir$\\Task.bat\n");
  // The words of the command line stay apart: these two are no option.
  EXPECT_EQ(Run("--VER SION", other), 0) << err_;
  EXPECT_TRUE(fs::exists(root_ / "out"));
  EXPECT_EQ(Mode(root_ / "quillet.lock"), 0666);  // Any user's run can open it, whatever the umask.
  // A lock that cannot be made, in a temporary folder that is not there, does not stop a run.
  std::string elsewhere = Command("", other);
  const std::string tmpdir = "TMPDIR='" + root_.string();
  EXPECT_EQ(Shell(elsewhere.replace(elsewhere.find(tmpdir), tmpdir.size(), tmpdir + "/none")), 0);
  EXPECT_NE(ReadAll(root_ / "visu" / "Task.log").find("\t" + other + "\tprog/" + other),
            std::string::npos);
  EXPECT_EQ(Run("x"), 2);
  EXPECT_NE(err_.find((root_ / "prog" / "quillet.ini").string()), std::string::npos) << err_;
  // The check tells a Windows path and a relative one from a Linux path.
  for (const auto& [path, kind] : {std::pair{"D:", "Windows"}, {"service", "relative"}}) {
    Write(root_ / "prog" / "quillet.ini", std::string("[Project]\nTargetPath=") + path + "\n");
    EXPECT_EQ(Run("/check"), 4);
    EXPECT_NE(out_.find(std::string("PROBLEM: TargetPath ") + path + " is a " + kind + " path"),
              std::string::npos);
  }
}

TEST_F(NativeRunTest, AHungProgramAndItsChildAreEndedAtTheTimeLimit) {
  const fs::path pids = root_ / "pids.txt";
  // The program also notes its resident memory in KiB, as the kernel and the process list tell it,
  // how many arguments it got, and the folder it runs in.
  Write(root_ / "tools" / "sleeper.sh",
        "#!/bin/sh\nsleep 1000 &\necho $$ $! $(ionice -p $$) $(cut -d' ' -f19 /proc/$$/stat) "
        "$(awk '/VmRSS/ {print $2}' /proc/$$/status) $(\"$MorvaToolsDir/Quillet/PStatXP.exe\" | "
        "awk -v p=$$ '$1 == p {print $4}') $# \"$PWD\" > '" +
            pids.string() + "'\nsleep 1000\n");
  fs::permissions(root_ / "tools" / "sleeper.sh", fs::perms::owner_all, fs::perm_options::add);
  Write(root_ / "logs" / "a.log", "a");
  // Two arguments: two blanks are one gap, and quotes hold words together.
  WriteSettings("ProgramTimeout=5\n[StartExeFilesXP]\n1=" +
                (root_ / "tools" / "sleeper.sh").string() + " one  \"two words\"\n");
  const mode_t mask = umask(027);  // Not the usual one, which a program might get by chance.
  // This process's own class, set here rather than inherited: a run that lowered its whole process
  // group before this test started would have left the idle class behind already. 1: this
  // process alone; best effort, level 4.
  const long own_disk_class = 2 << 13 | 4;
  ASSERT_EQ(syscall(SYS_ioprio_set, 1, 0, own_disk_class), 0);
  EXPECT_EQ(Run("x"), 0) << err_;
  umask(mask);
  int parent = 0, child = 0, nice = 0, kib = 0, listed_kib = -1, arguments = 0;
  std::string disk_class, folder;
  std::istringstream(ReadAll(pids)) >> parent >> child >> disk_class >> nice >> kib >> listed_kib >>
      arguments >> folder;
  EXPECT_EQ(arguments, 2);
  EXPECT_EQ(folder, (root_ / "tools").string());  // Its own, not the run's.
  // The run and what it starts give way to the HMI, unless they were started lower still; the
  // process that started the run keeps its own place at the disk.
  EXPECT_EQ(disk_class, "idle");
  EXPECT_EQ(syscall(SYS_ioprio_get, 1, 0), own_disk_class);
  EXPECT_EQ(nice, std::max(10, getpriority(PRIO_PROCESS, 0)));
  EXPECT_EQ(listed_kib, kib);
  // Otherwise the programs the run starts make files as the run's own start said.
  EXPECT_EQ(Mode(pids), 0640);
  EXPECT_EQ(Shell("'" QUILLET_TOOLS_DIR "/Quillet/PStatXP.exe' >/dev/full"), 1);  // Unwritten.
  ASSERT_TRUE(parent > 0 && child > 0) << ReadAll(pids);
  EXPECT_TRUE(GroupGone(parent));  // The program, whose group it leads, and its child.
  if (!GroupGone(parent)) kill(-parent, SIGKILL);
}

TEST_F(NativeRunTest, AFullDiskLosesNothing) {
  // The target folder is a file system of 1 MiB of its own.
  fs::create_directories(root_ / "the target");
  if (geteuid() != 0) GTEST_SKIP() << "a small file system needs root to mount; CI runs as root";
  if (mount("tmpfs", (root_ / "the target").c_str(), "tmpfs", 0, "size=1m") != 0) {
    if (std::getenv("CI") != nullptr) FAIL() << "cannot mount a tmpfs: " << strerror(errno);
    GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
  }
  // Too big to copy: the run goes on without it and keeps it. A log on the staging folder's own
  // disk, where the kernel's copy stops part-way, is no copy either.
  Write(root_ / "logs" / "big.log", test_support::Noise(2 * 1024 * 1024));
  Write(root_ / "logs" / "small.log", "small");
  Write(root_ / "the target" / "logs" / "near.log", test_support::Noise(600 * 1024));
  WriteSettings("", "2=" + root_.string() + "/the target/logs/*.log\n");
  EXPECT_EQ(Run("x"), 0) << err_;
  EXPECT_EQ(ReadAll(root_ / "prog" / "test.log"),
            "big.log\r\nFehler:big.log\r\nnear.log\r\nFehler:near.log\r\nKept:" +
                (root_ / "logs" / "big.log").string() + " (it could not be collected)\r\n");
  EXPECT_EQ(fs::file_size(root_ / "logs" / "big.log"), 2u * 1024 * 1024);
  EXPECT_EQ(fs::file_size(root_ / "the target" / "logs" / "near.log"), 600u * 1024);
  EXPECT_FALSE(fs::exists(root_ / "logs" / "small.log"));
  fs::remove_all(root_ / "the target" / "logs");

  // A reserve keeps a copy from eating the last megabyte.
  Write(root_ / "logs" / "random.log", test_support::Noise(600 * 1024));
  WriteSettings("MinFreeMB=1\n");
  EXPECT_EQ(Run("x"), 0) << err_;
  EXPECT_NE(ReadAll(root_ / "prog" / "test.log").find("Fehler:random.log\r\n"), std::string::npos);
  // The check finds a batch folder on a disk that takes nothing, root too; its Linux paths pass.
  ASSERT_EQ(mount("tmpfs", (root_ / "visu").c_str(), "tmpfs", MS_RDONLY, "size=1m"), 0);
  EXPECT_EQ(Run("--check"), 4);
  umount2((root_ / "visu").c_str(), MNT_DETACH);
  EXPECT_NE(out_.find("($VisuDir$) takes no new file (Read-only file system)"), std::string::npos);
  EXPECT_NE(out_.find("\n1 problem found.\n"), std::string::npos) << out_;
}

}  // namespace
}  // namespace quillet::native_test
