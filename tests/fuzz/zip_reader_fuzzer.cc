// Reads the input as a zip archive, as a run reads its archive back before
// it deletes anything, and extracts every entry whose directory reads.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "zip/zip_reader.h"

namespace {

// An archive in memory. Reads return at most a few KiB, as a file may, so
// that the reader's loop over short reads is exercised too.
class MemoryFile : public quillet::InputFile {
 public:
  MemoryFile(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint64_t Size() override { return size_; }
  std::error_code ReadAt(std::uint64_t offset, void* buffer, std::size_t size,
                         std::size_t* got) override {
    *got = offset >= size_ ? 0 : std::min({size, size_ - offset, std::size_t{4096}});
    if (*got > 0) std::memcpy(buffer, data_ + offset, *got);
    return {};
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
};

// An entry may legally hold far more than the fuzzer should inflate per input.
constexpr std::uint64_t kMaxExtracted = 64 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemoryFile file(data, size);
  std::vector<quillet::ZipEntryInfo> entries;
  std::string error;
  if (!quillet::ReadCentralDirectory(file, &entries, &error)) {
    if (error.empty()) std::abort();  // A refusal must say why.
    return 0;
  }
  for (const quillet::ZipEntryInfo& entry : entries) {
    if (entry.local_offset >= size) std::abort();
    if (entry.size > kMaxExtracted) continue;
    std::uint64_t extracted = 0;
    const std::error_code failed =
        quillet::ExtractEntry(file, entry, [&](const char*, std::size_t n) { extracted += n; });
    // Success promises exactly the size that the directory names.
    if (!failed && extracted != entry.size) std::abort();
  }
  return 0;
}
