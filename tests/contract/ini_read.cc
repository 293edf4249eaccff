// Prints what the settings reader of this build reads for one key, between
// "[" and "]", so that a test can compare the POSIX reader with the one of
// Windows. Usage: ini_read FILE SECTION KEY
#include <cstdio>

#include "platform/platform.h"

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  std::printf("[%s]\n", quillet::CreateSettingsReader()->Read(argv[2], argv[3], argv[1]).c_str());
  return 0;
}
