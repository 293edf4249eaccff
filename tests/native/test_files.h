// The native end-to-end tests' tree: a folder of its own for every test with
// the program under test in it, and the means to run it there.
#ifndef QUILLET_TESTS_NATIVE_TEST_FILES_H_
#define QUILLET_TESTS_NATIVE_TEST_FILES_H_

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>
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

// A test's own tree, under a name no other test or run uses: "prog" holds
// the program under test, "visu" stands for the HMI's folder. The runs use
// the tree as their temporary folder, so their lock is theirs too. The tree
// goes with the test unless the test failed.
class TreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The process's id in the name tells a tree of a test that was killed
    // from one of a test that runs now.
    std::string pattern =
        (fs::path(::testing::TempDir()) / ("quillet-" + std::to_string(getpid()) + "-XXXXXX"))
            .string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    fs::create_directories(root_ / "visu");
    fs::create_directories(root_ / "prog");
    fs::copy_file(QUILLET_BINARY, root_ / "prog" / "quillet", fs::copy_options::none);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(root_);
  }

  // Runs prog/`program` from the tree's top without a terminal and without
  // an X display, as a scheduler would; `env` adds settings of the
  // environment. Standard output and error land in out_ and err_.
  int Run(const std::string& args, const std::string& program = "quillet",
          const std::string& env = "") {
    const int code =
        Shell("cd '" + root_.string() + "' && env -u DISPLAY TMPDIR='" + root_.string() +
              "' MorvaToolsDir='" + QUILLET_TOOLS_DIR + "' VisuDir='" + (root_ / "visu").string() +
              "' " + env + " prog/" + program + " " + args + " </dev/null >out.txt 2>err.txt");
    out_ = ReadAll(root_ / "out.txt");
    err_ = ReadAll(root_ / "err.txt");
    return code;
  }

  fs::path root_;
  std::string out_, err_;
};

}  // namespace quillet::native_test

#endif  // QUILLET_TESTS_NATIVE_TEST_FILES_H_
