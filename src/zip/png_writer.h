// Pictures as PNG files, written over zlib.
#ifndef QUILLET_ZIP_PNG_WRITER_H_
#define QUILLET_ZIP_PNG_WRITER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace quillet {

// The bytes of a PNG image of 8-bit RGB pixels, not interlaced: the
// signature, one IHDR, one IDAT and IEND, each chunk with its CRC-32. `rgb`
// holds `height` rows from the top down, each `width` pixels of red, green,
// blue bytes. Returns "" when the sizes do not match `rgb` or zlib fails.
std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb);

}  // namespace quillet

#endif  // QUILLET_ZIP_PNG_WRITER_H_
