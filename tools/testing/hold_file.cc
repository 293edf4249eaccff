// hold_file.exe PATH MODE SECONDS: keeps a file open the way a running
// program keeps its log open, so that a test can show how a collection run
// copes with it. MODE "shared" writes and lets others read and write;
// MODE "none" reads and writes and lets nobody else in. Once the handle is
// open the program prints "ready" and flushes, so the test that started it
// knows when the file is held.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: hold_file PATH shared|none SECONDS\n", stderr);
    return 2;
  }
  DWORD access = 0;
  DWORD share = 0;
  if (std::strcmp(argv[2], "shared") == 0) {
    access = GENERIC_WRITE;
    share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  } else if (std::strcmp(argv[2], "none") == 0) {
    access = GENERIC_READ | GENERIC_WRITE;
    share = 0;
  } else {
    std::fprintf(stderr, "hold_file: unknown mode %s\n", argv[2]);
    return 2;
  }
  // The file must exist already: the test wrote its content, and holding it
  // must not change that content.
  HANDLE file =
      CreateFileA(argv[1], access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "hold_file: cannot open %s, error %lu\n", argv[1], GetLastError());
    return 1;
  }
  // Binary output keeps the line end a bare "\n", as the tests expect.
  _setmode(_fileno(stdout), _O_BINARY);
  std::fputs("ready\n", stdout);
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(std::strtoul(argv[3], nullptr, 10)) * 1000);
  CloseHandle(file);
  return 0;
}
