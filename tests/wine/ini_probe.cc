// Prints what GetPrivateProfileStringA reads for one key, so that a native
// test can compare the POSIX settings reader with the Windows original.
// Usage: ini_probe FILE SECTION KEY
// The value is printed between '[' and ']' and ends with a newline. The call
// is made the way the program's own settings reads make it, with a buffer of
// 255 characters and an empty default, so that both readers are asked the
// same question.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: ini_probe FILE SECTION KEY\n");
    return 2;
  }
  constexpr DWORD kSize = 255;
  char buffer[kSize + 1] = {};
  const DWORD length = GetPrivateProfileStringA(argv[2], argv[3], "", buffer, kSize, argv[1]);
  // Binary mode keeps the runtime from turning the newline into "\r\n", so
  // the reader sees exactly the bytes that the call returned.
  _setmode(_fileno(stdout), _O_BINARY);
  std::string line = "[" + std::string(buffer, length) + "]\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
  return 0;
}
