// A packer that fails half-way, as one that ran out of room or was stopped
// might: called as the real packer is (Zip.exe -j ARCHIVE PATTERN), it leaves
// a readable zip archive that holds none of the files, and reports failure.
#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  // The end record of an archive without entries.
  static const unsigned char kEmptyArchive[22] = {0x50, 0x4b, 0x05, 0x06};
  std::FILE* archive = std::fopen(argv[2], "wb");
  if (archive == nullptr) return 1;
  std::fwrite(kEmptyArchive, 1, sizeof(kEmptyArchive), archive);
  std::fclose(archive);
  std::fputs("Zip: cannot read the staging folder\n", stderr);
  return 1;
}
