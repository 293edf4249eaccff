// Writing pictures as Windows bitmap files.
#ifndef QUILLET_PLATFORM_BMP_H_
#define QUILLET_PLATFORM_BMP_H_

#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace quillet {

// Writes a 24-bit uncompressed BMP. `rows` holds `height` rows from the
// bottom row up, each `width` pixels of blue, green, red bytes padded to a
// multiple of four bytes. `path` is in the platform's own form. The file is written under a
// temporary name and renamed into place, replacing an earlier file, only when complete.
std::error_code WriteBmp(const std::string& path, int width, int height,
                         const std::vector<std::uint8_t>& rows);

// Reads a BMP as WriteBmp and the clipboard write it: uncompressed, 24 bits
// per pixel, rows from the bottom up or (negative height) from the top down.
// On success `*rgb` holds the rows from the top down, each `width` pixels of
// red, green, blue bytes, without padding. False for any other kind of file,
// or one whose header promises more than it holds; the file may come from an
// earlier run or another program, so no field is trusted before it is checked.
bool DecodeBmp(const std::string& bytes, int* width, int* height, std::vector<std::uint8_t>* rgb);

// Bytes per row of a 24-bit BMP `width` pixels wide.
inline std::size_t BmpStride(int width) {
  return (static_cast<std::size_t>(width) * 3 + 3) & ~static_cast<std::size_t>(3);
}

}  // namespace quillet

#endif  // QUILLET_PLATFORM_BMP_H_
