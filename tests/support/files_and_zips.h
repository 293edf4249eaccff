// What the end-to-end tests do with files and archives: read and write files whole, list a
// folder, make content that deflate cannot shrink, read an archive the way the run does, and,
// on POSIX, run a call under a limit of the process.
#ifndef QUILLET_TESTS_SUPPORT_FILES_AND_ZIPS_H_
#define QUILLET_TESTS_SUPPORT_FILES_AND_ZIPS_H_

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "platform/platform.h"
#include "zip/zip_reader.h"

namespace quillet::test_support {

// The whole content of `path`; "" when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes `text` to `path`, creating the folders on the way.
inline void Write(const std::filesystem::path& path, const std::string& text) {
  std::error_code error;
  std::filesystem::create_directories(path.parent_path(), error);
  std::ofstream(path, std::ios::binary) << text;
}

// The names in `folder`, sorted; none when it cannot be read.
inline std::vector<std::string> ListFolder(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// `size` bytes that deflate cannot shrink, the same on every call.
inline std::string Noise(std::size_t size) {
  std::mt19937 random(7);
  std::string noise(size, ' ');
  for (char& c : noise) c = static_cast<char>(random());
  return noise;
}

// The entries of the zip archive in `file` with their contents, as the run's own reader finds
// them; one entry "!" with the reason when the archive cannot be read whole. `directory`, when
// given, receives what the archive's central directory says of each entry.
inline std::map<std::string, std::string> ReadZip(InputFile& file,
                                                  std::vector<ZipEntryInfo>* directory = nullptr) {
  std::vector<ZipEntryInfo> infos;
  if (Error error = ReadCentralDirectory(file, &infos)) return {{"!", error.what}};
  std::map<std::string, std::string> entries;
  for (const ZipEntryInfo& info : infos) {
    std::string& content = entries[info.name];
    if (ExtractEntry(file, info, [&](const char* data, std::size_t n) { content.append(data, n); }))
      return {{"!", "cannot extract " + info.name}};
  }
  if (directory != nullptr) *directory = infos;
  return entries;
}
inline std::map<std::string, std::string> ReadZip(const std::string& path,
                                                  std::vector<ZipEntryInfo>* directory = nullptr) {
  std::unique_ptr<InputFile> file;
  if (CreateFiles()->OpenRead(path, &file)) return {{"!", "cannot open " + path}};
  return ReadZip(*file, directory);
}

#ifndef _WIN32
// What `call` returns with the process's `resource` limited to `value`. A write past a file size
// limit then fails instead of ending the process.
template <typename Call>
auto Limited(int resource, rlim_t value, Call call) {
  rlimit before;
  getrlimit(resource, &before);
  const rlimit limited = {value, before.rlim_max};
  const auto handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(resource, &limited);
  const auto result = call();
  setrlimit(resource, &before);
  std::signal(SIGXFSZ, handler);
  return result;
}
#endif

}  // namespace quillet::test_support

#endif  // QUILLET_TESTS_SUPPORT_FILES_AND_ZIPS_H_
