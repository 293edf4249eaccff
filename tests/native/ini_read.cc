// Prints what the POSIX settings reader reads, in the form of the Windows
// probe (tests/wine/ini_probe.cc), so the two readers can be compared.
#include <cstdio>

#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "Usage: ini_read FILE SECTION KEY\n");
    return 2;
  }
  const std::string value = quillet::CreateSettingsReader()->Read(argv[2], argv[3], argv[1]);
  std::printf("[%s]\n", value.c_str());
  return 0;
}
