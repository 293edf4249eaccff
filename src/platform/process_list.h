// A snapshot of the processes running on the machine.
#ifndef QUILLET_PLATFORM_PROCESS_LIST_H_
#define QUILLET_PLATFORM_PROCESS_LIST_H_

#include <string>
#include <system_error>
#include <vector>

namespace quillet {

struct ProcessInfo {
  unsigned long id = 0;
  unsigned long parent_id = 0;
  unsigned long threads = 0;
  // The resident set (the working set on Windows); 0 when it cannot be read.
  unsigned long long memory_bytes = 0;
  // The program's file name, such as "explorer.exe".
  std::string name;
  // The arguments the process was started with; "" when they cannot be read.
  std::string command_line;
};

// Replaces `*out` with the processes running now. A process that ends while
// the list is taken is left out rather than reported as an error.
std::error_code ListProcesses(std::vector<ProcessInfo>* out);

// The id of the calling process, as ListProcesses reports it.
unsigned long CurrentProcessId();

// Command lines may hold passwords, so a list written into a file is kept
// from other users: where standard output is a regular file of this user,
// only its owner may read it from now on. Windows leaves this to the
// permissions that the file inherits from its folder.
void KeepOutputFilePrivate();

}  // namespace quillet

#endif  // QUILLET_PLATFORM_PROCESS_LIST_H_
