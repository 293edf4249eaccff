// The parts of the contract suite that differ between the systems.
#ifndef QUILLET_TESTS_CONTRACT_BACKEND_H_
#define QUILLET_TESTS_CONTRACT_BACKEND_H_

#include <cstdint>
#include <string>

namespace quillet {

// Keeps `path` open as another program would; false where the system has
// no sharing modes.
bool HoldOpenByHand(const std::string& path, bool shared, std::uintptr_t* handle);
void ReleaseByHand(std::uintptr_t handle);
// The text of a batch file that ends with exit code 3, or never ends.
std::string ProgramText(bool endless);

}  // namespace quillet

#endif  // QUILLET_TESTS_CONTRACT_BACKEND_H_
