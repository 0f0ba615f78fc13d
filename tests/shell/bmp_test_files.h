#pragma once

// Whole files in and out, and plain BMPs of a given size, for tests that
// need a picture of some size or read what a program wrote.

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace bmp_test {

// A bottom-up 24-bit BMP of width x height pixels, all of one grey.
inline std::vector<std::uint8_t> MakeBmp(std::uint32_t width, std::uint32_t height) {
  const std::uint32_t size = 54 + (width * 3 + 3) / 4 * 4 * height;
  std::vector<std::uint8_t> bytes{'B', 'M'};
  // File header, then a 40-byte info header: one plane of 24 bits, no compression.
  for (const std::uint32_t field : {size, 0u, 54u, 40u, width, height, 1u | 24u << 16,
                                    0u, 0u, 0u, 0u, 0u, 0u}) {
    for (int shift = 0; shift < 32; shift += 8) bytes.push_back(static_cast<std::uint8_t>(field >> shift));
  }
  bytes.resize(size, 0x80);
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
