#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "source_image.h"
#include "startup_messages.h"

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
  std::uint32_t infoSize;  // 12 and 64 OS/2; 40, 52, 56, 108, 124 Windows
  unsigned planes;
  bool hasMasks;           // the red, green, blue and alpha masks below were in the file
  std::uint32_t masks[4];
};

// Enough of the start of a file for the largest info header and the colour
// masks that may follow a short one.
inline constexpr std::size_t kBmpHeaderBytes = 14 + 124 + 16;

// False if the bytes do not start a BMP file this program can make sense of.
bool ParseBmpHeader(const std::uint8_t* bytes, std::size_t size, BmpHeader* header);

// Bytes of pixel data an uncompressed picture needs (rows padded to 4 bytes);
// 0 for compressed pictures, whose size the header cannot tell.
std::uint64_t UncompressedDataSize(const BmpHeader& header);

// Everything that can be known from the header and the file's size, in the
// order the user learns of it: the picture's size and depth, then whether
// its encoding is one the decoder reads exactly (plain rows of 24 or 32
// bits, or 32 bits with one byte per colour), then whether the file holds
// all the pixels the header promises.
LoadResult CheckBmpHeader(const BmpHeader& header, std::uint64_t fileSize,
                          std::int64_t minSide = kMinPictureSide);

// Writes a bottom-up BMP of the given depth (8: grey levels, 16: 5-5-5,
// 24 or 32) from packed B, G, R rows, bottom row first. Writes to a
// temporary file beside path and renames it, so a failed write leaves no
// partial picture. False on any failure, with the system's reason in
// `reason`.
bool WriteBmp(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height,
              unsigned bitsPerPixel, const std::uint8_t* bgrRows, std::error_code& reason);
