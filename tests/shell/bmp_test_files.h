#pragma once

// Builds BMP files byte by byte for the tests, independently of the
// program's own writer.

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace bmp_test {

inline void Put(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// B, G, R of pixel (column, row), row 0 at the bottom.
inline std::uint8_t PatternByte(std::uint32_t column, std::uint32_t row, int channel) {
  const std::uint32_t values[3] = {column * 7, row * 3, column + row};
  return static_cast<std::uint8_t>(values[channel]);
}

// A BITMAPINFOHEADER file of the given depth holding the pattern (depths of
// 16 bits or fewer hold zeros and a grey palette). With topDown the height is
// stored negative and the top row comes first. rowsWritten limits the pixel
// data actually present.
inline std::vector<std::uint8_t> MakeBmp(std::int32_t width, std::int32_t height,
                                         std::uint16_t bitsPerPixel, bool topDown = false,
                                         std::int64_t rowsWritten = -1) {
  const std::uint32_t rowBytes = (static_cast<std::uint32_t>(width) * bitsPerPixel + 31) / 32 * 4;
  const std::uint32_t paletteEntries = bitsPerPixel <= 8 ? 1u << bitsPerPixel : 0;
  const std::uint32_t offset = 54 + paletteEntries * 4;
  const std::int64_t rows = rowsWritten < 0 ? height : rowsWritten;
  std::vector<std::uint8_t> bytes{'B', 'M'};
  Put(bytes, static_cast<std::uint32_t>(offset + rowBytes * rows), 4);
  Put(bytes, 0, 4);
  Put(bytes, offset, 4);
  Put(bytes, 40, 4);
  Put(bytes, static_cast<std::uint32_t>(width), 4);
  Put(bytes, static_cast<std::uint32_t>(topDown ? -height : height), 4);
  Put(bytes, 1, 2);
  Put(bytes, bitsPerPixel, 2);
  Put(bytes, 0, 4);
  Put(bytes, 0, 4);
  Put(bytes, 2835, 4);
  Put(bytes, 2835, 4);
  Put(bytes, paletteEntries, 4);
  Put(bytes, 0, 4);
  for (std::uint32_t i = 0; i < paletteEntries; ++i) {
    const auto grey = static_cast<std::uint8_t>(i);
    bytes.insert(bytes.end(), {grey, grey, grey, 0});
  }
  for (std::int64_t stored = 0; stored < rows; ++stored) {
    const auto row = static_cast<std::uint32_t>(topDown ? height - 1 - stored : stored);
    std::vector<std::uint8_t> line;
    for (std::uint32_t column = 0; column < static_cast<std::uint32_t>(width); ++column) {
      if (bitsPerPixel < 24) break;
      for (int c = 0; c < 3; ++c) line.push_back(PatternByte(column, row, c));
      if (bitsPerPixel == 32) line.push_back(0x5A);  // must never reach the picture
    }
    line.resize(rowBytes, 0xC3);  // padding that must never reach the picture
    bytes.insert(bytes.end(), line.begin(), line.end());
  }
  return bytes;
}

inline void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<std::uint8_t> ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

}  // namespace bmp_test
