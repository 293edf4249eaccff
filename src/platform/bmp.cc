#include "platform/bmp.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>

namespace quillet {
namespace {

void Put16(std::vector<std::uint8_t>* out, std::uint32_t value) {
  out->push_back(static_cast<std::uint8_t>(value));
  out->push_back(static_cast<std::uint8_t>(value >> 8));
}

void Put32(std::vector<std::uint8_t>* out, std::uint32_t value) {
  Put16(out, value & 0xFFFF);
  Put16(out, value >> 16);
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

}  // namespace

bool DecodeBmp(const std::string& bytes, int* width, int* height, std::vector<std::uint8_t>* rgb) {
  // A picture wider or taller than any screen is no screenshot; the limit
  // also keeps the sizes below from overflowing.
  constexpr std::int32_t kMaxSide = 1 << 15;
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const std::uint32_t offset = Get32(bytes, 10);
  const std::uint32_t header_size = Get32(bytes, 14);
  const std::int32_t w = static_cast<std::int32_t>(Get32(bytes, 18));
  const std::int32_t h = static_cast<std::int32_t>(Get32(bytes, 22));
  const std::uint32_t planes_and_bits = Get32(bytes, 26);  // Planes 1, 24 bits.
  const std::uint32_t compression = Get32(bytes, 30);
  const bool top_down = h < 0;
  const std::int32_t rows = top_down ? -h : h;
  if (header_size < 40 || planes_and_bits != (24u << 16 | 1u) || compression != 0 || w <= 0 ||
      w > kMaxSide || rows <= 0 || rows > kMaxSide) {
    return false;
  }
  const std::size_t stride = BmpStride(w);
  if (offset < 14 + header_size || offset > bytes.size() ||
      (bytes.size() - offset) / stride < static_cast<std::size_t>(rows)) {
    return false;
  }
  rgb->assign(static_cast<std::size_t>(w) * 3 * static_cast<std::size_t>(rows), 0);
  for (std::int32_t y = 0; y < rows; ++y) {
    const std::size_t source_row = top_down ? y : rows - 1 - y;
    const char* in = bytes.data() + offset + stride * source_row;
    std::uint8_t* out = rgb->data() + static_cast<std::size_t>(w) * 3 * y;
    for (std::int32_t x = 0; x < w; ++x) {
      out[3 * x] = static_cast<std::uint8_t>(in[3 * x + 2]);
      out[3 * x + 1] = static_cast<std::uint8_t>(in[3 * x + 1]);
      out[3 * x + 2] = static_cast<std::uint8_t>(in[3 * x]);
    }
  }
  *width = w;
  *height = rows;
  return true;
}

std::error_code WriteBmp(const std::string& path, int width, int height,
                         const std::vector<std::uint8_t>& rows) {
  if (width <= 0 || height <= 0 || rows.size() != BmpStride(width) * height) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  const std::uint32_t header_size = 14 + 40;
  std::vector<std::uint8_t> header;
  header.push_back('B');
  header.push_back('M');
  Put32(&header, header_size + static_cast<std::uint32_t>(rows.size()));
  Put32(&header, 0);
  Put32(&header, header_size);
  Put32(&header, 40);  // BITMAPINFOHEADER
  Put32(&header, static_cast<std::uint32_t>(width));
  Put32(&header, static_cast<std::uint32_t>(height));
  Put16(&header, 1);   // Planes.
  Put16(&header, 24);  // Bits per pixel.
  Put32(&header, 0);   // BI_RGB.
  Put32(&header, static_cast<std::uint32_t>(rows.size()));
  Put32(&header, 3780);  // 96 dots per inch, in dots per metre.
  Put32(&header, 3780);
  Put32(&header, 0);
  Put32(&header, 0);

  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (file == nullptr) return std::error_code(errno, std::generic_category());
  const bool written = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
                       std::fwrite(rows.data(), 1, rows.size(), file) == rows.size();
  if (std::fclose(file) != 0 || !written) {
    std::remove(temporary.c_str());
    return std::make_error_code(std::errc::io_error);
  }
  // Not every platform's rename replaces an existing file, so the earlier
  // picture goes first; it is being replaced anyway.
  std::error_code error;
  std::filesystem::remove(path, error);
  std::filesystem::rename(temporary, path, error);
  if (error) std::remove(temporary.c_str());
  return error;
}

}  // namespace quillet
