// Small file helpers shared by the native end-to-end tests.
#ifndef QUILLET_TESTS_NATIVE_TEST_FILES_H_
#define QUILLET_TESTS_NATIVE_TEST_FILES_H_

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

}  // namespace quillet::native_test

#endif  // QUILLET_TESTS_NATIVE_TEST_FILES_H_
