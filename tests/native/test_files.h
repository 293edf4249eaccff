// The native end-to-end tests' tree: a folder of its own for every test with
// the program under test in it, and the means to run it there.
#ifndef QUILLET_TESTS_NATIVE_TEST_FILES_H_
#define QUILLET_TESTS_NATIVE_TEST_FILES_H_

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/files_and_zips.h"

namespace quillet::native_test {

namespace fs = std::filesystem;

using test_support::ReadAll;
using test_support::Write;

// Runs `command` through the shell; its exit code, or -1 when it did not exit.
inline int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Trees are named after their test process, to tell a killed test's tree from a live one's.
inline std::string TreePrefix() { return (fs::path(::testing::TempDir()) / "quillet-").string(); }

// A test's own tree, under a name no other test or run uses: "prog" holds the program under
// test, "visu" stands for the HMI's folder. The runs use it as their temporary folder, so
// their lock is theirs too; the tree stays only if the test failed.
class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = TreePrefix() + std::to_string(getpid()) + "-XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    for (const char* folder : {"visu", "prog"}) fs::create_directories(root_ / folder);
    fs::copy_file(QUILLET_BINARY, root_ / "prog" / "quillet", fs::copy_options::none);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(root_);
  }

  // Runs prog/`program` from the tree's top as a scheduler would: no terminal, no X display.
  int Run(const std::string& args, const std::string& program = "quillet") {
    const std::string r = root_.string();
    const int code = Shell("cd '" + r + "' && env -u DISPLAY TMPDIR='" + r + "' MorvaToolsDir='" +
                           QUILLET_TOOLS_DIR + "' VisuDir='" + r + "/visu' prog/" + program + " " +
                           args + " </dev/null >out.txt 2>err.txt");
    out_ = ReadAll(root_ / "out.txt");
    err_ = ReadAll(root_ / "err.txt");
    return code;
  }

  fs::path root_;
  std::string out_, err_;
};

}  // namespace quillet::native_test

#endif  // QUILLET_TESTS_NATIVE_TEST_FILES_H_
