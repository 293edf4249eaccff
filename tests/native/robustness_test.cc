// The Linux build against hung programs and full disks, over real folders.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "tests/native/test_files.h"

namespace {

namespace fs = std::filesystem;

using quillet::native_test::ReadAll;
using quillet::native_test::Write;

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

class RobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = quillet::native_test::NewTestTree(QUILLET_BINARY);
    fs::create_directories(root_ / "target");
  }
  void TearDown() override {
    if (mounted_) umount2((root_ / "target").c_str(), MNT_DETACH);
    fs::remove_all(root_);
  }

  int Run(const std::string& ini_extra) {
    const std::string r = root_.string();
    Write(root_ / "prog" / "quillet.ini", "[Project]\nTargetPath=" + r + "/target\n" + ini_extra +
                                              "[LogFilesXP]\n1=" + r +
                                              "/logs/*.log\n"
                                              "[DeleteFilesXP]\n1=" +
                                              r + "/logs/*.log\n");
    const std::string command = "cd " + r + " && env -u DISPLAY MorvaToolsDir='" +
                                QUILLET_TOOLS_DIR + "' VisuDir='" + r + "' prog/quillet x " +
                                "</dev/null >out.txt 2>err.txt";
    const int status = std::system(command.c_str());
    err_ = ReadAll(root_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // A target folder on a file system of its own of `size` bytes.
  void SmallTarget(const std::string& size) {
    if (geteuid() != 0) GTEST_SKIP() << "a small file system needs root to mount; CI runs as root";
    const std::string options = "size=" + size;
    if (mount("tmpfs", (root_ / "target").c_str(), "tmpfs", 0, options.c_str()) != 0) {
      if (std::getenv("CI") != nullptr) FAIL() << "cannot mount a tmpfs: " << strerror(errno);
      GTEST_SKIP() << "cannot mount a tmpfs here: " << strerror(errno);
    }
    mounted_ = true;
  }

  fs::path root_;
  std::string err_;
  bool mounted_ = false;
};

TEST_F(RobustnessTest, AHungProgramAndItsChildAreEndedAtTheTimeLimit) {
  const fs::path pids = root_ / "pids.txt";
  Write(root_ / "tools" / "sleeper.sh",
        "#!/bin/sh\nsleep 1000 &\necho $$ $! > '" + pids.string() + "'\nsleep 1000\n");
  fs::permissions(root_ / "tools" / "sleeper.sh", fs::perms::owner_all, fs::perm_options::add);
  Write(root_ / "logs" / "a.log", "a");
  EXPECT_EQ(Run("ProgramTimeout=2\n[StartExeFilesXP]\n1=" +
                (root_ / "tools" / "sleeper.sh").string() + "\n"),
            0)
      << err_;
  int parent = 0, child = 0;
  std::istringstream(ReadAll(pids)) >> parent >> child;
  ASSERT_GT(parent, 0);
  ASSERT_GT(child, 0);
  EXPECT_TRUE(Gone(parent));
  EXPECT_TRUE(Gone(child));
  if (!Gone(child)) kill(child, SIGKILL);
}

TEST_F(RobustnessTest, ACopyThatFillsTheDiskLosesNothing) {
  SmallTarget("1m");
  Write(root_ / "logs" / "big.log", RandomBytes(2 * 1024 * 1024));
  Write(root_ / "logs" / "small.log", "small");
  EXPECT_EQ(Run(""), 0) << err_;
  EXPECT_EQ(ReadAll(root_ / "prog" / "test.log"), "big.log\r\nFehler:big.log\r\n");
  EXPECT_FALSE(fs::exists(root_ / "target" / "Log"));
  EXPECT_EQ(fs::file_size(root_ / "logs" / "big.log"), 2u * 1024 * 1024);  // Never archived.
}

TEST_F(RobustnessTest, PackingThatFillsTheDiskKeepsTheStagingFolder) {
  SmallTarget("1m");
  const std::string content = RandomBytes(600 * 1024);
  Write(root_ / "logs" / "random.log", content);
  EXPECT_EQ(Run(""), 3) << err_;
  EXPECT_EQ(ReadAll(root_ / "target" / "Log" / "random.log"), content);
  EXPECT_EQ(ReadAll(root_ / "logs" / "random.log"), content);
  for (const auto& entry : fs::directory_iterator(root_ / "target")) {
    EXPECT_EQ(entry.path().filename(), "Log");  // No archive, whole or half.
  }
}

TEST_F(RobustnessTest, AFreeSpaceReserveSkipsFilesThatWouldEatIt) {
  SmallTarget("1m");
  Write(root_ / "logs" / "a.log", std::string(100 * 1024, 'a'));
  EXPECT_EQ(Run("MinFreeMB=1\n"), 0) << err_;
  EXPECT_EQ(ReadAll(root_ / "prog" / "test.log"), "a.log\r\nFehler:a.log\r\n");
  EXPECT_EQ(Run("MinFreeMB=many\n"), 0) << err_;
  EXPECT_NE(err_.find("Ignored MinFreeMB=many (not a whole number)"), std::string::npos) << err_;
}

}  // namespace
