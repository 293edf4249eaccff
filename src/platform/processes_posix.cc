// POSIX backend of process creation. Command lines are split as the Windows
// C runtime splits them (blanks separate words, double quotes group them),
// and a ".bat" program runs its lines through the shell, as the Windows
// command interpreter would.
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

#include "platform/platform.h"
#include "platform/posix_path.h"
#include "platform/processes.h"

namespace quillet {
namespace {

std::vector<std::string> SplitWords(const std::string& line) {
  std::vector<std::string> words;
  std::string word;
  bool in_word = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      in_word = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (in_word) words.push_back(word);
      word.clear();
      in_word = false;
    } else {
      word += c;
      in_word = true;
    }
  }
  if (in_word) words.push_back(word);
  return words;
}

bool EndsWithBat(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".bat" || tail == ".cmd";
}

// The script a ".bat" file stands for: its lines with "\" taken as path
// separators and the CR of CR LF line ends dropped.
bool BatchScript(const std::string& path, std::string* script) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  *script = ToPosixPath(text.str());
  for (char& c : *script) {
    if (c == '\r') c = '\n';
  }
  return true;
}

class PosixProcesses : public Processes {
 public:
  std::error_code Start(const std::string& command_line, bool as_group,
                        ChildProcess* child) override {
    *child = ChildProcess();
    std::vector<std::string> words = SplitWords(command_line);
    if (words.empty()) return std::make_error_code(std::errc::invalid_argument);
    words[0] = ToPosixPath(words[0]);
    if (EndsWithBat(words[0])) {
      std::string script;
      if (!BatchScript(words[0], &script)) {
        return std::make_error_code(std::errc::no_such_file_or_directory);
      }
      words = {"/bin/sh", "-c", script, words[0]};
    } else if (access(words[0].c_str(), X_OK) != 0) {
      return std::error_code(errno, std::generic_category());
    }
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    const mode_t child_umask = ChildUmask();
    const pid_t pid = fork();
    if (pid < 0) return std::error_code(errno, std::generic_category());
    if (pid == 0) {
      if (as_group) setpgid(0, 0);
      umask(child_umask);
      execv(argv[0], argv.data());
      _exit(127);
    }
    // Set in both processes, so that the group exists whichever runs first.
    if (as_group) setpgid(pid, pid);
    child->id = static_cast<std::uintptr_t>(pid);
    child->group = as_group ? static_cast<std::uintptr_t>(pid) : 0;
    return {};
  }

  void Terminate(ChildProcess* child) override {
    if (child->id == 0) return;
    const pid_t pid = static_cast<pid_t>(child->id);
    kill(child->group != 0 ? -static_cast<pid_t>(child->group) : pid, SIGKILL);
    int status = 0;
    if (status_.count(child->id) == 0 && waitpid(pid, &status, 0) == pid) {
      status_[child->id] = status;
    }
  }

  WaitResult Wait(const ChildProcess& child, int timeout_ms) override {
    if (child.id == 0) return WaitResult::kFailed;
    if (status_.count(child.id) != 0) return WaitResult::kEnded;
    const pid_t pid = static_cast<pid_t>(child.id);
    for (int waited = 0;; waited += kPollMs) {
      int status = 0;
      const pid_t done = waitpid(pid, &status, WNOHANG);
      if (done == pid) {
        status_[child.id] = status;
        return WaitResult::kEnded;
      }
      if (done < 0 && errno != EINTR) return WaitResult::kFailed;
      if (waited >= timeout_ms) return WaitResult::kTimeout;
      struct timespec pause = {0, kPollMs * 1000000L};
      nanosleep(&pause, nullptr);
    }
  }

  bool ExitCode(const ChildProcess& child, int* code) override {
    auto it = status_.find(child.id);
    if (it == status_.end()) return false;
    *code = WIFEXITED(it->second) ? WEXITSTATUS(it->second) : 128 + WTERMSIG(it->second);
    return true;
  }

  void Close(ChildProcess* child) override {
    status_.erase(child->id);
    *child = ChildProcess();
  }

 private:
  static constexpr int kPollMs = 5;
  std::map<std::uintptr_t, int> status_;
};

}  // namespace

std::unique_ptr<Processes> CreateProcesses() { return std::make_unique<PosixProcesses>(); }

}  // namespace quillet
