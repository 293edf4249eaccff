// The Linux build against hung programs and full disks, over real folders.
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <random>

#include "tests/native/test_files.h"

namespace quillet::native_test {
namespace {

std::string RandomBytes(std::size_t n) {
  std::mt19937 random(42);
  std::string bytes(n, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// A process that is gone, or a zombie that only waits to be reaped.
bool Gone(int pid) {
  const std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
  return stat.empty() || stat.find(") Z ") != std::string::npos;
}

// Unmounts what tests that were killed left mounted in their trees: a tree
// is named after its test process, and that process is gone.
void UnmountLeftovers() {
  const std::string prefix = (fs::path(::testing::TempDir()) / "quillet-").string();
  std::istringstream mounts(ReadAll("/proc/mounts"));
  for (std::string device, point, rest; mounts >> device >> point && std::getline(mounts, rest);) {
    if (point.rfind(prefix, 0) != 0) continue;
    const int pid = std::atoi(point.c_str() + prefix.size());
    if (pid > 0 && pid != getpid() && Gone(pid)) umount2(point.c_str(), MNT_DETACH);
  }
}

class RobustnessTest : public TreeTest {
 protected:
  void TearDown() override {
    if (mounted_) umount2((root_ / "target").c_str(), MNT_DETACH);
    TreeTest::TearDown();
  }

  int RunWith(const std::string& ini_extra) {
    const std::string r = root_.string();
    Write(root_ / "prog" / "quillet.ini", "[Project]\nTargetPath=" + r + "/target\n" + ini_extra +
                                              "[LogFilesXP]\n1=" + r +
                                              "/logs/*.log\n"
                                              "[DeleteFilesXP]\n1=" +
                                              r + "/logs/*.log\n");
    return Run("x");
  }

  // A target folder on a file system of its own of `size` bytes.
  void SmallTarget(const std::string& size) {
    UnmountLeftovers();
    fs::create_directories(root_ / "target");
    if (geteuid() != 0) GTEST_SKIP() << "a small file system needs root to mount; CI runs as root";
    if (mount("tmpfs", (root_ / "target").c_str(), "tmpfs", 0, ("size=" + size).c_str()) != 0) {
      if (std::getenv("CI") != nullptr) FAIL() << "cannot mount a tmpfs: " << strerror(errno);
      GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
    }
    mounted_ = true;
  }

  bool mounted_ = false;
};

TEST_F(RobustnessTest, AHungProgramAndItsChildAreEndedAtTheTimeLimit) {
  const fs::path pids = root_ / "pids.txt";
  Write(root_ / "tools" / "sleeper.sh",
        "#!/bin/sh\nsleep 1000 &\necho $$ $! $(cut -d' ' -f19 /proc/$$/stat) > '" + pids.string() +
            "'\nsleep 1000\n");
  fs::permissions(root_ / "tools" / "sleeper.sh", fs::perms::owner_all, fs::perm_options::add);
  Write(root_ / "logs" / "a.log", "a");
  EXPECT_EQ(RunWith("ProgramTimeout=2\n[StartExeFilesXP]\n1=" +
                    (root_ / "tools" / "sleeper.sh").string() + "\n"),
            0)
      << err_;
  int parent = 0, child = 0, nice = 0;
  std::istringstream(ReadAll(pids)) >> parent >> child >> nice;
  EXPECT_GE(nice, 10);  // The run and what it starts give way to the HMI.
  ASSERT_GT(parent, 0);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(Gone(parent));
  EXPECT_TRUE(Gone(child));
  if (!Gone(child)) kill(child, SIGKILL);
}

TEST_F(RobustnessTest, AFullDiskLosesNothing) {
  SmallTarget("1m");
  // Too big to copy: the run goes on without it and keeps it.
  Write(root_ / "logs" / "big.log", RandomBytes(2 * 1024 * 1024));
  Write(root_ / "logs" / "small.log", "small");
  EXPECT_EQ(RunWith(""), 0) << err_;
  EXPECT_EQ(ReadAll(root_ / "prog" / "test.log"),
            "big.log\r\nFehler:big.log\r\nKept:" + (root_ / "logs" / "big.log").string() +
                " (it could not be collected)\r\n");
  EXPECT_EQ(fs::file_size(root_ / "logs" / "big.log"), 2u * 1024 * 1024);
  EXPECT_FALSE(fs::exists(root_ / "logs" / "small.log"));

  // Copied, but no room left for the archive: the copy stays staged.
  fs::remove(root_ / "logs" / "big.log");
  const std::string content = RandomBytes(600 * 1024);
  Write(root_ / "logs" / "random.log", content);
  EXPECT_EQ(RunWith(""), 3) << err_;
  EXPECT_EQ(ReadAll(root_ / "target" / "Log" / "random.log"), content);
  EXPECT_EQ(ReadAll(root_ / "logs" / "random.log"), content);
  for (const auto& entry : fs::directory_iterator(root_ / "target")) {
    EXPECT_NE(entry.path().filename().string()[0], '1');  // No new archive, whole or half.
  }

  // A reserve keeps a copy from eating the last megabyte.
  fs::remove_all(root_ / "target" / "Log");
  EXPECT_EQ(RunWith("MinFreeMB=1\n"), 0) << err_;
  EXPECT_NE(ReadAll(root_ / "prog" / "test.log").find("random.log\r\nFehler:random.log\r\n"),
            std::string::npos);
  RunWith("MinFreeMB=many\n");
  EXPECT_NE(err_.find("Ignored MinFreeMB=many (not a whole number)"), std::string::npos) << err_;
}

}  // namespace
}  // namespace quillet::native_test
