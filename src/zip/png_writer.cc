#include "zip/png_writer.h"

#include <zlib.h>

namespace quillet {
namespace {

void PutBigEndian32(std::string* out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) out->push_back(static_cast<char>(value >> shift));
}

// Appends a chunk: its length, type and data, and the CRC-32 of type and data.
void PutChunk(std::string* out, const char* type, const std::string& data) {
  PutBigEndian32(out, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = out->size();
  out->append(type, 4);
  out->append(data);
  const uLong crc = crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(out->data() + start),
                          static_cast<uInt>(out->size() - start));
  PutBigEndian32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::string EncodePng(int width, int height, const std::vector<std::uint8_t>& rgb) {
  if (width <= 0 || height <= 0) return "";
  const std::size_t row_bytes = static_cast<std::size_t>(width) * 3;
  if (rgb.size() / row_bytes != static_cast<std::size_t>(height) || rgb.size() % row_bytes != 0) {
    return "";
  }
  // Each row starts with its filter type; 0 leaves the bytes as they are,
  // which deflate alone packs well for the flat areas of a screen.
  std::string raw;
  raw.reserve(rgb.size() + static_cast<std::size_t>(height));
  for (std::size_t at = 0; at < rgb.size(); at += row_bytes) {
    raw.push_back('\0');
    raw.append(reinterpret_cast<const char*>(rgb.data() + at), row_bytes);
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packed_size,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    return "";
  }
  packed.resize(packed_size);

  std::string header;
  PutBigEndian32(&header, static_cast<std::uint32_t>(width));
  PutBigEndian32(&header, static_cast<std::uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00",
                        5);  // 8 bits, RGB, deflate, filter method 0, no interlace.
  std::string png("\x89PNG\r\n\x1a\n", 8);
  PutChunk(&png, "IHDR", header);
  PutChunk(&png, "IDAT", packed);
  PutChunk(&png, "IEND", "");
  return png;
}

}  // namespace quillet
