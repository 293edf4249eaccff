// What the contract suite does by hand on a POSIX system.
#include <fstream>

#include "tests/contract/backend.h"

namespace quillet {

// POSIX has no sharing modes: an open file can always be read and deleted.
bool HoldOpenByHand(const std::string&, bool, std::uintptr_t*) { return false; }
void ReleaseByHand(std::uintptr_t) {}

// Batch files run through the shell.
std::string ProgramText(bool endless) {
  return endless ? "while true; do sleep 1; done\n" : "exit 3\n";
}

}  // namespace quillet
