// Reads the input as a zip archive, as a run reads its archive back before
// it deletes anything, and extracts every entry whose directory reads.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fakes/fakes.h"
#include "zip/zip_reader.h"

// An entry may legally hold far more than the fuzzer should inflate per input.
constexpr std::uint64_t kMaxExtracted = 64 << 20;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  quillet::testing::MemoryFile file(std::string(reinterpret_cast<const char*>(data), size));
  std::vector<quillet::ZipEntryInfo> entries;
  if (quillet::Error error = quillet::ReadCentralDirectory(file, &entries)) {
    if (error.what.empty()) std::abort();  // A refusal must say why.
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
