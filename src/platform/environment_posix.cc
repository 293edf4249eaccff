// POSIX backend of the environment: names match without regard to case, as
// on Windows, and the version is reported in the layout of the Windows value.
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/text.h"

extern char** environ;

namespace quillet {
namespace {

class PosixEnvironment : public Environment {
 public:
  PosixEnvironment(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
      if (i > 1) tail_ += ' ';
      tail_ += argv[i];
    }
  }

  // The first variable whose name matches without regard to case, as
  // Windows, whose environment cannot hold two names that differ in case
  // alone, finds it.
  bool GetVariable(const std::string& name, std::string* value) override {
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
      const std::string text = *entry;
      const std::size_t equals = text.find('=');
      if (equals != std::string::npos && SameNoCase(text.substr(0, equals), name)) {
        *value = text.substr(equals + 1);
        return true;
      }
    }
    return false;
  }

  // Linux is no member of the NT 4.0 generation; the kernel's own major and
  // minor version are reported in the NT layout (top bit clear), which
  // always gives the "XP" generation.
  std::uint32_t GetVersion() override {
    struct utsname names;
    unsigned major = 0, minor = 0;
    if (uname(&names) == 0) std::sscanf(names.release, "%u.%u", &major, &minor);
    return (major & 0xFF) | ((minor & 0xFF) << 8);
  }

  std::string ProgramPath() override {
    std::vector<char> buffer(4096);
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    return n > 0 ? std::string(buffer.data(), static_cast<std::size_t>(n)) : std::string();
  }

  std::string CommandTail() override { return tail_; }

  std::string ComputerName() override {
    char name[256] = {};
    return gethostname(name, sizeof(name) - 1) == 0 ? name : "";
  }

  std::string SystemName() override {
    struct utsname names;
    if (uname(&names) != 0) return "";
    return std::string(names.sysname) + " " + names.release;
  }

  // Linux names and texts are UTF-8 already.
  std::string ToUtf8(const std::string& text) override { return text; }

 private:
  std::string tail_;
};

}  // namespace

std::unique_ptr<Environment> CreateEnvironment(int argc, char** argv) {
  return std::make_unique<PosixEnvironment>(argc, argv);
}

}  // namespace quillet
