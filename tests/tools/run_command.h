// Running the built tools from tests through the system's command processor.
#ifndef QUILLET_TESTS_TOOLS_RUN_COMMAND_H_
#define QUILLET_TESTS_TOOLS_RUN_COMMAND_H_

#include <cstdlib>
#include <string>

namespace quillet::tool_test {

// `text` quoted as one word for the command processor.
inline std::string Quote(const std::string& text) {
#ifdef _WIN32
  return "\"" + text + "\"";
#else
  return "'" + text + "'";
#endif
}

// Runs `command` and returns its exit code.
inline int RunCommand(const std::string& command) {
#ifdef _WIN32
  // cmd.exe drops the first and the last quote of a line that holds more
  // than two, so the whole line gets one more pair for it to drop.
  return std::system(("\"" + command + "\"").c_str());
#else
  // POSIX shells report the exit code in the second byte of the status.
  const int status = std::system(command.c_str());
  return (status >> 8) & 0xFF;
#endif
}

}  // namespace quillet::tool_test

#endif  // QUILLET_TESTS_TOOLS_RUN_COMMAND_H_
