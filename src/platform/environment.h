// The process's environment, its own location and the system's version.
#ifndef QUILLET_PLATFORM_ENVIRONMENT_H_
#define QUILLET_PLATFORM_ENVIRONMENT_H_

#include <cstdint>
#include <string>

namespace quillet {

class Environment {
 public:
  virtual ~Environment() = default;
  // Looks `name` up without regard to case. True with the whole value, of any
  // length, when the variable exists; false when it does not.
  virtual bool GetVariable(const std::string& name, std::string* value) = 0;
  // The system version in the layout of the Windows GetVersion value: major
  // version in the low byte, minor in the next, build number in the high
  // word, whose top bit marks the older, non-NT family.
  virtual std::uint32_t GetVersion() = 0;
  // Full path of the running executable.
  virtual std::string ProgramPath() = 0;
  // The command-line text after the program name, "" when there is none.
  virtual std::string CommandTail() = 0;
  // The computer's network name.
  virtual std::string ComputerName() = 0;
  // The operating system's name and version, for people to read.
  virtual std::string SystemName() = 0;
  // `text` in the system's single-byte code page, converted to UTF-8.
  virtual std::string ToUtf8(const std::string& text) = 0;
};

}  // namespace quillet

#endif  // QUILLET_PLATFORM_ENVIRONMENT_H_
