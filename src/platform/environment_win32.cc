// Windows backend of the environment, the program's location and the version.
#include <vector>

#include "platform/environment.h"
#include "platform/platform.h"
#include "platform/win32.h"

namespace quillet {
namespace {

constexpr DWORD kFirstBuffer = 4096;

class Win32Environment : public Environment {
 public:
  // A value that does not fit the first buffer is read again with a buffer
  // of the size the system asked for, so long values arrive whole.
  bool GetVariable(const std::string& name, std::string* value) override {
    std::vector<char> buffer(kFirstBuffer);
    for (int attempt = 0; attempt < 3; ++attempt) {
      SetLastError(ERROR_SUCCESS);
      const DWORD n =
          GetEnvironmentVariableA(name.c_str(), buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) {
        value->clear();
        return GetLastError() != ERROR_ENVVAR_NOT_FOUND;
      }
      if (n < buffer.size()) {
        value->assign(buffer.data(), n);
        return true;
      }
      buffer.resize(n + 1);  // The value changed size or did not fit: try again.
    }
    return false;
  }

  std::uint32_t GetVersion() override {
    // GetVersion is deprecated but is exactly the value the tags are defined on.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return static_cast<std::uint32_t>(::GetVersion());
#pragma GCC diagnostic pop
  }

  std::string ProgramPath() override {
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
      const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return "";
      if (n < buffer.size()) return std::string(buffer.data(), n);
      buffer.resize(buffer.size() * 2);
    }
  }

  std::string ComputerName() override {
    char name[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD size = sizeof(name);
    return GetComputerNameA(name, &size) ? std::string(name, size) : std::string();
  }

  std::string SystemName() override {
    const std::uint32_t v = GetVersion();
    const bool nt = (v & 0x80000000u) == 0;
    return std::string(nt ? "Windows NT " : "Windows ") + std::to_string(v & 0xFF) + "." +
           std::to_string((v >> 8) & 0xFF) + (nt ? " build " + std::to_string(v >> 16) : "");
  }

  std::string ToUtf8(const std::string& text) override {
    if (text.empty()) return text;
    const int wide_size =
        MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(wide_size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                        wide_size);
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), wide_size, utf8.data(), size, nullptr, nullptr);
    return utf8;
  }

  // The text after the program name, as the command line carries it.
  std::string CommandTail() override {
    const char* p = GetCommandLineA();
    if (*p == '"') {
      ++p;
      while (*p != '\0' && *p != '"') ++p;
      if (*p == '"') ++p;
    } else {
      while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
  }
};

}  // namespace

std::unique_ptr<Environment> CreateEnvironment(int, char**) {
  return std::make_unique<Win32Environment>();
}

}  // namespace quillet
