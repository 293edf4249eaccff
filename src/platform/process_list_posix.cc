#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "platform/process_list.h"

namespace quillet {
namespace {

// The kernel cuts the name in /proc/<id>/stat to this many characters.
constexpr std::size_t kKernelNameLength = 15;

bool ReadAll(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// The resident set from /proc/<id>/status; kernel threads have none.
unsigned long long ResidentBytes(const std::string& dir) {
  std::ifstream in(dir + "/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtoull(line.c_str() + 6, nullptr, 10) * 1024;
  }
  return 0;
}

// Fills `info` from the folder /proc/<id>; false when the process ended
// before it could be read.
bool ReadProcess(const std::string& dir, ProcessInfo* info) {
  std::string stat;
  if (!ReadAll(dir + "/stat", &stat)) return false;
  // The name sits in parentheses and may itself hold blanks and parentheses,
  // so the fields after it are counted from the last ")".
  const std::size_t open = stat.find('(');
  const std::size_t close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return false;
  info->name = stat.substr(open + 1, close - open - 1);
  std::istringstream fields(stat.substr(close + 1));
  std::string state;
  long long skipped = 0;
  fields >> state >> info->parent_id;
  for (int field = 5; field < 20; ++field) fields >> skipped;
  fields >> info->threads;
  if (!fields) return false;

  // Windows lists a process under its program's file name, so a name the
  // kernel may have cut short is completed from the program's path.
  if (info->name.size() == kKernelNameLength) {
    std::error_code ec;
    const std::string program = std::filesystem::read_symlink(dir + "/exe", ec).filename().string();
    if (!ec && program.rfind(info->name, 0) == 0) info->name = program;
  }
  info->memory_bytes = ResidentBytes(dir);
  if (ReadAll(dir + "/cmdline", &info->command_line)) {
    std::replace(info->command_line.begin(), info->command_line.end(), '\0', ' ');
    while (!info->command_line.empty() && info->command_line.back() == ' ') {
      info->command_line.pop_back();
    }
  }
  return true;
}

}  // namespace

std::error_code ListProcesses(std::vector<ProcessInfo>* out) {
  out->clear();
  std::error_code ec;
  std::filesystem::directory_iterator it("/proc", ec);
  for (; !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
    const std::string id = it->path().filename().string();
    if (id.empty() ||
        !std::all_of(id.begin(), id.end(), [](unsigned char c) { return std::isdigit(c) != 0; })) {
      continue;
    }
    ProcessInfo info;
    info.id = std::strtoul(id.c_str(), nullptr, 10);
    if (ReadProcess(it->path().string(), &info)) out->push_back(std::move(info));
  }
  std::sort(out->begin(), out->end(),
            [](const ProcessInfo& a, const ProcessInfo& b) { return a.id < b.id; });
  return ec;
}

unsigned long CurrentProcessId() { return static_cast<unsigned long>(getpid()); }

void KeepOutputFilePrivate() {
  struct stat info;
  // The shell that redirects the output creates the file with the caller's
  // umask, and a file of an earlier run may be readable by all.
  if (fstat(STDOUT_FILENO, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == geteuid()) {
    fchmod(STDOUT_FILENO, S_IRUSR | S_IWUSR);
  }
}

}  // namespace quillet
