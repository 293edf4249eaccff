// Small file helpers shared by the native end-to-end tests.
#ifndef QUILLET_TESTS_NATIVE_TEST_FILES_H_
#define QUILLET_TESTS_NATIVE_TEST_FILES_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace quillet::native_test {

inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Writes `text` to `path`, creating the folders on the way.
inline void Write(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << text;
}

// A fresh folder named after the running test, with the program under test
// copied into its "prog" folder.
inline std::filesystem::path NewTestTree(const std::filesystem::path& program) {
  namespace fs = std::filesystem;
  const fs::path root =
      fs::path(::testing::TempDir()) /
      ("quillet-" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
  fs::remove_all(root);
  fs::create_directories(root / "prog");
  fs::copy_file(program, root / "prog" / program.filename());
  fs::permissions(root / "prog" / program.filename(), fs::perms::owner_all, fs::perm_options::add);
  return root;
}

}  // namespace quillet::native_test

#endif  // QUILLET_TESTS_NATIVE_TEST_FILES_H_
