#pragma once

// BMP files of every kind a user may have, built byte by byte for the tests
// independently of the program's reader and writer, each with the outcome
// the viewer must reach for it.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "startup_messages.h"

namespace bmp_test {

// B, G, R of pixel (column, row), row 0 at the bottom: every byte value
// appears, neighbours differ in every channel.
inline std::uint8_t KindPixel(std::uint32_t column, std::uint32_t row, int channel) {
  const std::uint32_t values[3] = {column * 5 + row, row * 11 + column * 3, (column ^ row) * 7};
  return static_cast<std::uint8_t>(values[channel]);
}

// Varies per pixel, so that a reader that lets alpha through shows it.
inline std::uint8_t KindAlpha(std::uint32_t column, std::uint32_t row) {
  return static_cast<std::uint8_t>(column * row + 1);
}

struct Masks {
  std::uint32_t red, green, blue, alpha;
};

struct BmpKind {
  std::string name;
  std::int32_t width = 100;
  std::int32_t height = 100;
  std::uint32_t headerSize = 40;  // 12 OS/2 1.x; 16 or 64 OS/2 2.x; 40, 52, 56, 108, 124
  std::uint16_t bitsPerPixel = 24;
  std::uint32_t compression = 0;  // 0 plain, 1 RLE8, 2 RLE4, 3 bit fields, 4 JPEG, 5 PNG, 6 alpha bit fields
  bool topDown = false;
  Masks masks{0x00FF0000, 0x0000FF00, 0x000000FF, 0};  // where the header has room or asks for them
  bool alpha = false;             // the fourth byte (or alpha mask) carries KindAlpha, else 0
  std::uint32_t paletteEntries = 0;
  std::uint32_t gapBytes = 0;     // unused bytes between the headers and the pixels
  std::uint16_t planes = 1;
  LoadResult expected = LoadResult::Loaded;
};

namespace detail {

inline void Put(std::vector<std::uint8_t>& bytes, std::uint32_t value, int size) {
  for (int i = 0; i < size; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

inline int LowestBit(std::uint32_t mask) {
  int bit = 0;
  while (bit < 32 && (mask >> bit & 1) == 0) ++bit;
  return bit;
}

inline int BitCount(std::uint32_t mask) {
  int bits = 0;
  for (; mask != 0; mask &= mask - 1) ++bits;
  return bits;
}

// An 8-bit channel value scaled to the width of its mask and put in place.
inline std::uint32_t Place(std::uint8_t value, std::uint32_t mask) {
  const int bits = BitCount(mask);
  if (bits == 0) return 0;
  const std::uint32_t scaled = bits >= 8 ? std::uint32_t{value} << (bits - 8)
                                         : std::uint32_t{value} >> (8 - bits);
  return scaled << LowestBit(mask) & mask;
}

inline bool HasMasks(const BmpKind& kind) { return kind.compression == 3 || kind.compression == 6; }

// One stored row of pixel data, padded to 4 bytes.
inline std::vector<std::uint8_t> Row(const BmpKind& kind, std::uint32_t row) {
  std::vector<std::uint8_t> line;
  const auto width = static_cast<std::uint32_t>(std::abs(kind.width));
  const std::uint32_t palette = kind.paletteEntries == 0 ? 1 : kind.paletteEntries;
  if (kind.compression == 1 || kind.compression == 2) {
    // Runs of at most 16 pixels of one index each, then end of line.
    const bool four = kind.compression == 2;
    for (std::uint32_t column = 0; column < width;) {
      const std::uint32_t run = std::min<std::uint32_t>(16, width - column);
      const std::uint32_t index = (column / 16 + row) % palette;
      line.push_back(static_cast<std::uint8_t>(run));
      line.push_back(static_cast<std::uint8_t>(four ? (index & 15) * 17 : index));
      column += run;
    }
    line.push_back(0);
    line.push_back(0);
    return line;
  }
  std::uint32_t bitBuffer = 0;
  int bitsHeld = 0;
  for (std::uint32_t column = 0; column < width; ++column) {
    const std::uint8_t b = KindPixel(column, row, 0), g = KindPixel(column, row, 1),
                       r = KindPixel(column, row, 2);
    const std::uint8_t a = kind.alpha ? KindAlpha(column, row) : 0;
    const std::uint32_t masked = Place(r, kind.masks.red) | Place(g, kind.masks.green) |
                                 Place(b, kind.masks.blue) | Place(a, kind.masks.alpha);
    switch (kind.bitsPerPixel) {
      case 1:
      case 2:
      case 4:
      case 8:
        bitBuffer = bitBuffer << kind.bitsPerPixel | ((column + row) % palette);
        bitsHeld += kind.bitsPerPixel;
        if (bitsHeld == 8) {
          line.push_back(static_cast<std::uint8_t>(bitBuffer));
          bitBuffer = 0;
          bitsHeld = 0;
        }
        break;
      case 16:
        if (HasMasks(kind)) {
          Put(line, masked, 2);
        } else {
          Put(line, std::uint32_t{r} >> 3 << 10 | std::uint32_t{g} >> 3 << 5 | b >> 3, 2);
        }
        break;
      case 24:
        line.insert(line.end(), {b, g, r});
        break;
      case 32:
        if (HasMasks(kind)) {
          Put(line, masked, 4);
        } else {
          line.insert(line.end(), {b, g, r, a});
        }
        break;
      case 64:
        for (std::uint8_t value : {b, g, r, a}) Put(line, std::uint32_t{value} << 5, 2);
        break;
      default:
        break;
    }
  }
  if (bitsHeld > 0) line.push_back(static_cast<std::uint8_t>(bitBuffer << (8 - bitsHeld)));
  line.resize((line.size() + 3) / 4 * 4, 0xC3);  // padding that must never reach the picture
  return line;
}

}  // namespace detail

// The whole file. rowsWritten limits the rows present (a cut-off file).
inline std::vector<std::uint8_t> MakeKind(const BmpKind& kind, std::int64_t rowsWritten = -1) {
  using detail::Put;
  std::vector<std::uint8_t> info;
  const bool os2v1 = kind.headerSize == 12;
  const bool os2v2 = kind.headerSize == 16 || kind.headerSize == 64;
  Put(info, kind.headerSize, 4);
  const auto storedHeight = static_cast<std::uint32_t>(kind.topDown ? -kind.height : kind.height);
  if (os2v1) {
    Put(info, static_cast<std::uint32_t>(kind.width), 2);
    Put(info, storedHeight, 2);
    Put(info, kind.planes, 2);
    Put(info, kind.bitsPerPixel, 2);
  } else {
    Put(info, static_cast<std::uint32_t>(kind.width), 4);
    Put(info, storedHeight, 4);
    Put(info, kind.planes, 2);
    Put(info, kind.bitsPerPixel, 2);
  }
  std::vector<std::uint8_t> pixels;
  std::vector<std::uint32_t> rowStarts;
  const std::int64_t rows = rowsWritten < 0 ? kind.height : rowsWritten;
  for (std::int64_t stored = 0; stored < rows; ++stored) {
    const auto row = static_cast<std::uint32_t>(kind.topDown ? kind.height - 1 - stored : stored);
    const auto line = detail::Row(kind, row);
    pixels.insert(pixels.end(), line.begin(), line.end());
  }
  if (kind.compression == 1 || kind.compression == 2) {
    pixels.push_back(0);
    pixels.push_back(1);  // end of picture
  }
  if (!os2v1 && kind.headerSize >= 20) {
    Put(info, kind.compression, 4);
    Put(info, static_cast<std::uint32_t>(pixels.size()), 4);
    Put(info, 2835, 4);
    Put(info, 2835, 4);
    Put(info, kind.paletteEntries, 4);
    Put(info, 0, 4);
  }
  if (!os2v2 && kind.headerSize >= 52) {
    Put(info, kind.masks.red, 4);
    Put(info, kind.masks.green, 4);
    Put(info, kind.masks.blue, 4);
    if (kind.headerSize >= 56) Put(info, kind.masks.alpha, 4);
    if (kind.headerSize >= 108) {
      Put(info, 0x73524742, 4);  // 'sRGB'
      info.resize(108, 0);       // end points and gamma, unused with sRGB
    }
    if (kind.headerSize >= 124) {
      Put(info, 4, 4);  // intent: pictures
      Put(info, 0, 4);  // no profile
      Put(info, 0, 4);
      Put(info, 0, 4);
    }
  }
  // OS/2 2.x: units, reserved, recording, rendering, sizes, colour encoding, id.
  if (info.size() < kind.headerSize) info.resize(kind.headerSize, 0);
  if (kind.headerSize == 40 && detail::HasMasks(kind)) {
    Put(info, kind.masks.red, 4);
    Put(info, kind.masks.green, 4);
    Put(info, kind.masks.blue, 4);
    if (kind.compression == 6) Put(info, kind.masks.alpha, 4);
  }
  for (std::uint32_t i = 0; i < kind.paletteEntries; ++i) {
    // A palette of the pattern's colours, never used by deep pictures.
    const auto grey = static_cast<std::uint8_t>(i * 37);
    info.insert(info.end(), {grey, static_cast<std::uint8_t>(255 - grey), static_cast<std::uint8_t>(i)});
    if (!os2v1) info.push_back(0);
  }
  info.resize(info.size() + kind.gapBytes, 0x77);

  const auto offset = static_cast<std::uint32_t>(14 + info.size());
  std::vector<std::uint8_t> bytes{'B', 'M'};
  Put(bytes, static_cast<std::uint32_t>(offset + pixels.size()), 4);
  Put(bytes, 0, 4);
  Put(bytes, offset, 4);
  bytes.insert(bytes.end(), info.begin(), info.end());
  bytes.insert(bytes.end(), pixels.begin(), pixels.end());
  return bytes;
}

// The catalogue: pictures of at least 100 x 100 in every kind, with what the
// viewer must make of each.
inline std::vector<BmpKind> AllKinds() {
  constexpr Masks kXrgb{0x00FF0000, 0x0000FF00, 0x000000FF, 0};
  constexpr Masks kArgb{0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
  constexpr Masks kXbgr{0x000000FF, 0x0000FF00, 0x00FF0000, 0};
  constexpr Masks kRgba{0xFF000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
  constexpr Masks kBgrx{0x0000FF00, 0x00FF0000, 0xFF000000, 0};
  constexpr Masks k565{0xF800, 0x07E0, 0x001F, 0};
  constexpr Masks k10bit{0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
  constexpr LoadResult kUnsupported = LoadResult::Unsupported;
  std::vector<BmpKind> kinds;
  auto add = [&kinds](BmpKind kind) { kinds.push_back(kind); };
  // Plain 24-bit rows with 0, 3, 2 and 1 bytes of padding.
  for (std::int32_t width : {100, 101, 102, 103}) {
    add({.name = "rgb24-w" + std::to_string(width), .width = width, .height = 104});
  }
  add({.name = "rgb24-topdown", .width = 101, .height = 102, .topDown = true});
  add({.name = "rgb24-palette", .width = 103, .paletteEntries = 256});
  add({.name = "rgb24-gap", .width = 102, .gapBytes = 301});
  add({.name = "rgb24-os2v1", .width = 101, .headerSize = 12});
  add({.name = "rgb24-v4", .width = 101, .headerSize = 108});
  add({.name = "rgb24-v5-topdown", .width = 103, .height = 101, .headerSize = 124, .topDown = true});
  // 32 bits: the fourth byte unused, or alpha.
  add({.name = "rgb32", .width = 101, .bitsPerPixel = 32});
  add({.name = "rgb32-alpha", .width = 103, .bitsPerPixel = 32, .alpha = true});
  add({.name = "rgb32-topdown", .height = 103, .bitsPerPixel = 32, .topDown = true, .alpha = true});
  // Bit fields in each header version.
  add({.name = "bf32-v3-xrgb", .width = 101, .bitsPerPixel = 32, .compression = 3, .masks = kXrgb});
  add({.name = "bf32-v3-xbgr", .width = 102, .bitsPerPixel = 32, .compression = 3, .masks = kXbgr});
  add({.name = "bf32-v3-bgrx", .width = 103, .bitsPerPixel = 32, .compression = 3, .masks = kBgrx});
  add({.name = "bf32-v2-52", .width = 101, .headerSize = 52, .bitsPerPixel = 32, .compression = 3, .masks = kXbgr});
  add({.name = "bf32-v3-56", .width = 101, .headerSize = 56, .bitsPerPixel = 32, .compression = 3, .masks = kArgb, .alpha = true});
  add({.name = "bf32-v4-argb", .width = 103, .headerSize = 108, .bitsPerPixel = 32, .compression = 3, .masks = kArgb, .alpha = true});
  add({.name = "bf32-v4-rgba", .width = 101, .headerSize = 108, .bitsPerPixel = 32, .compression = 3, .masks = kRgba, .alpha = true});
  add({.name = "bf32-v5-argb-topdown", .headerSize = 124, .bitsPerPixel = 32, .compression = 3, .topDown = true, .masks = kArgb, .alpha = true});
  add({.name = "bf32-v5-xbgr", .width = 102, .headerSize = 124, .bitsPerPixel = 32, .compression = 3, .masks = kXbgr});
  add({.name = "rgb32-v5-alpha", .width = 101, .headerSize = 124, .bitsPerPixel = 32, .masks = kArgb, .alpha = true});
  // Deeper than 16 bits but not plain rows of 8-bit channels: not a format
  // the decoder reads exactly.
  add({.name = "bf32-v3-alphabitfields", .bitsPerPixel = 32, .compression = 6, .masks = kRgba, .alpha = true, .expected = kUnsupported});
  add({.name = "bf32-r-top-byte", .width = 101, .headerSize = 52, .bitsPerPixel = 32, .compression = 3, .masks = {0xFF000000, 0xFF00, 0xFF, 0}, .expected = kUnsupported});
  add({.name = "bf32-overlapping", .width = 101, .bitsPerPixel = 32, .compression = 3, .masks = {0xFF, 0xFF, 0xFF00, 0}, .expected = kUnsupported});
  add({.name = "bf32-10bit", .width = 101, .headerSize = 124, .bitsPerPixel = 32, .compression = 3, .masks = k10bit, .expected = kUnsupported});
  add({.name = "rgba64", .width = 101, .headerSize = 124, .bitsPerPixel = 64, .alpha = true, .expected = kUnsupported});
  add({.name = "jpeg", .width = 120, .bitsPerPixel = 0, .compression = 4, .expected = kUnsupported});
  add({.name = "png", .width = 120, .bitsPerPixel = 0, .compression = 5, .expected = kUnsupported});
  add({.name = "rgb24-os2v2-rle24", .width = 101, .headerSize = 64, .compression = 4, .expected = kUnsupported});
  add({.name = "rgb24-bitfields", .width = 101, .compression = 3, .expected = kUnsupported});
  add({.name = "rgb24-rle8", .width = 101, .compression = 1, .expected = kUnsupported});
  add({.name = "rgb24-os2v2-16", .width = 101, .headerSize = 16, .expected = kUnsupported});
  // 16 bits or fewer.
  add({.name = "rgb16-555", .width = 101, .bitsPerPixel = 16, .expected = kUnsupported});
  add({.name = "bf16-v3-565", .width = 101, .bitsPerPixel = 16, .compression = 3, .masks = k565, .expected = kUnsupported});
  add({.name = "bf16-v5-565", .width = 102, .headerSize = 124, .bitsPerPixel = 16, .compression = 3, .masks = k565, .expected = kUnsupported});
  add({.name = "pal8", .width = 101, .bitsPerPixel = 8, .paletteEntries = 256, .expected = kUnsupported});
  add({.name = "pal8-topdown", .width = 101, .bitsPerPixel = 8, .topDown = true, .paletteEntries = 200, .expected = kUnsupported});
  add({.name = "pal8-os2v1", .width = 101, .headerSize = 12, .bitsPerPixel = 8, .paletteEntries = 256, .expected = kUnsupported});
  add({.name = "pal8-os2v2", .width = 101, .headerSize = 64, .bitsPerPixel = 8, .paletteEntries = 256, .expected = kUnsupported});
  add({.name = "pal4", .width = 101, .bitsPerPixel = 4, .paletteEntries = 16, .expected = kUnsupported});
  add({.name = "pal1", .width = 101, .bitsPerPixel = 1, .paletteEntries = 2, .expected = kUnsupported});
  add({.name = "pal2", .width = 101, .bitsPerPixel = 2, .paletteEntries = 4, .expected = kUnsupported});
  add({.name = "rle8", .width = 101, .bitsPerPixel = 8, .compression = 1, .paletteEntries = 256, .expected = kUnsupported});
  add({.name = "rle4", .width = 101, .bitsPerPixel = 4, .compression = 2, .paletteEntries = 16, .expected = kUnsupported});
  // Too small, whatever the depth: the size is checked first.
  add({.name = "small-99x500", .width = 99, .height = 500, .expected = LoadResult::TooSmall});
  add({.name = "small-500x99-topdown", .width = 500, .height = 99, .topDown = true, .expected = LoadResult::TooSmall});
  add({.name = "small-pal8-50x50", .width = 50, .height = 50, .bitsPerPixel = 8, .paletteEntries = 256, .expected = LoadResult::TooSmall});
  add({.name = "small-negative-width", .width = -200, .height = 200, .expected = LoadResult::TooSmall});
  add({.name = "small-zero-height", .width = 200, .height = 0, .expected = LoadResult::TooSmall});
  // Not a picture one can read.
  add({.name = "bad-planes", .width = 101, .planes = 0, .expected = LoadResult::NotFound});
  add({.name = "bad-header-size", .width = 101, .headerSize = 44, .expected = LoadResult::NotFound});
  return kinds;
}

}  // namespace bmp_test
