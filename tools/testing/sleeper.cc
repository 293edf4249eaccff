// sleeper.exe [child]: a program that never ends by itself and has a child
// that never ends either, to show that a time limit ends a started program
// together with everything it started. Without an argument it starts a copy
// of itself with the argument "child", writes "<own id> <child's id>" to the
// file that the environment variable SLEEPER_PID_FILE names, and sleeps; the
// copy just sleeps.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Writes the line under a temporary name first and then renames it, so that
// a test polling for the file never reads it half written.
bool WritePids(const std::string& path, DWORD own, DWORD child) {
  const std::string temporary = path + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return false;
  std::fprintf(out, "%lu %lu\n", own, child);
  if (std::fclose(out) != 0) return false;
  return MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "child") == 0) {
    Sleep(INFINITE);
    return 0;
  }
  char own_path[MAX_PATH + 1] = {};
  if (GetModuleFileNameA(nullptr, own_path, MAX_PATH) == 0) return 1;
  std::string line = std::string("\"") + own_path + "\" child";
  std::vector<char> command(line.begin(), line.end());
  command.push_back('\0');
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    std::fprintf(stderr, "sleeper: cannot start the child, error %lu\n", GetLastError());
    return 1;
  }
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  char pid_file[MAX_PATH + 1] = {};
  const DWORD length = GetEnvironmentVariableA("SLEEPER_PID_FILE", pid_file, MAX_PATH);
  if (length > 0 && length <= MAX_PATH &&
      !WritePids(pid_file, GetCurrentProcessId(), info.dwProcessId)) {
    std::fprintf(stderr, "sleeper: cannot write %s\n", pid_file);
  }
  Sleep(INFINITE);
  return 0;
}
