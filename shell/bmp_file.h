#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the start of a BMP file says about its picture, read before anything
// is decoded, so that a lying header cannot make the reader allocate more
// than the file could fill.
struct BmpHeader {
  std::int64_t width;
  std::int64_t height;   // always positive; see topDown
  bool topDown;          // stored top row first (negative height in the file)
  unsigned bitsPerPixel;
  std::uint32_t compression;
  std::uint32_t dataOffset;
};

// The largest file header plus info header needed to parse one.
inline constexpr std::size_t kBmpHeaderBytes = 54;

// False if the bytes do not start a BMP file this program can make sense of.
bool ParseBmpHeader(const std::uint8_t* bytes, std::size_t size, BmpHeader* header);

// Bytes of pixel data an uncompressed picture needs (rows padded to 4 bytes);
// 0 for compressed pictures, whose size the header cannot tell.
std::uint64_t UncompressedDataSize(const BmpHeader& header);

// Writes a bottom-up BMP of the given depth (8: grey levels, 16: 5-5-5,
// 24 or 32) from packed B, G, R rows, bottom row first. Writes to a
// temporary file beside path and renames it, so a failed write leaves no
// partial picture. False on any failure.
bool WriteBmp(const std::string& path, std::uint32_t width, std::uint32_t height,
              unsigned bitsPerPixel, const std::uint8_t* bgrRows);
