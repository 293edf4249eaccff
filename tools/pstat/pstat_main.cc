// PStatXP.exe / PStatNT.exe: lists the running processes, one a line, with
// tab-separated columns so that the listing reads well and parses easily.
#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "platform/process_list.h"

int main() {
  quillet::KeepOutputFilePrivate();
  std::vector<quillet::ProcessInfo> processes;
  const std::error_code ec = quillet::ListProcesses(&processes);
  if (ec) {
    std::fprintf(stderr, "PStat: cannot list the processes: %s\n", ec.message().c_str());
    return 1;
  }
  std::sort(
      processes.begin(), processes.end(),
      [](const quillet::ProcessInfo& a, const quillet::ProcessInfo& b) { return a.id < b.id; });
  std::string text = "PID\tPPID\tThreads\tMemoryKiB\tName\tCommandLine\n";
  for (const quillet::ProcessInfo& process : processes) {
    text += std::to_string(process.id) + '\t' + std::to_string(process.parent_id) + '\t' +
            std::to_string(process.threads) + '\t' + std::to_string(process.memory_bytes / 1024) +
            '\t' + process.name + '\t' + process.command_line + '\n';
  }
  // A list too long for the stream's buffer is written at once, and a failed
  // write then shows only in the stream's error flag, not in fflush.
  std::fwrite(text.data(), 1, text.size(), stdout);
  return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 1;
}
