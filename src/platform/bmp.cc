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

}  // namespace

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
