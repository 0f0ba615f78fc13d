#pragma once

// PNG files built byte by byte for the tests (deflate's stored blocks, so no
// compressor is needed), of every colour type and bit depth, and the B, G, R
// bytes each must decode to: the top byte of a 16-bit sample, small grey
// depths scaled to 0..255, palette entries looked up, alpha ignored.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace png_test {

struct PngKind {
  std::string name;
  std::uint8_t colourType;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  std::uint8_t bitDepth;
  bool interlaced = false;
};

inline std::vector<PngKind> AllPngKinds() {
  return {{"grey-1", 0, 1},   {"grey-2", 0, 2},      {"grey-4", 0, 4},        {"grey-8", 0, 8},
          {"grey-16", 0, 16}, {"grey-alpha-8", 4, 8}, {"grey-alpha-16", 4, 16}, {"palette-1", 3, 1},
          {"palette-2", 3, 2}, {"palette-4", 3, 4},   {"palette-8", 3, 8},      {"rgb-8", 2, 8},
          {"rgb-16", 2, 16},  {"rgba-8", 6, 8},       {"rgba-16", 6, 16},       {"rgb-8-interlaced", 2, 8, true},
          {"palette-4-interlaced", 3, 4, true}};
}

inline unsigned Channels(const PngKind& kind) {
  switch (kind.colourType) {
    case 2: return 3;
    case 4: return 2;
    case 6: return 4;
    default: return 1;
  }
}

// A sample of pixel (column, row), row 0 at the top, below 2^bitDepth. The
// low byte of a 16-bit sample is at least 0x80, so that rounding to eight
// bits differs from taking the top byte.
inline std::uint32_t Sample(const PngKind& kind, std::uint32_t column, std::uint32_t row, unsigned channel) {
  const std::uint32_t mix = column * 37 + row * 101 + channel * 59 + (column * row) % 13;
  if (kind.bitDepth == 16) return (mix * 193 % 65536) | 0x80;
  return mix % (1u << kind.bitDepth);
}

inline std::array<std::uint8_t, 3> PaletteEntry(std::uint32_t index) {  // B, G, R
  return {static_cast<std::uint8_t>(index * 29 + 7), static_cast<std::uint8_t>(255 - index * 3),
          static_cast<std::uint8_t>(index * 71)};
}

// B, G, R of pixel (column, row), row 0 at the bottom of a picture `height` rows tall.
inline std::array<std::uint8_t, 3> Expected(const PngKind& kind, std::uint32_t column, std::uint32_t row,
                                            std::uint32_t height) {
  const std::uint32_t top = height - 1 - row;
  const auto eight = [&](unsigned channel) {
    const std::uint32_t sample = Sample(kind, column, top, channel);
    if (kind.bitDepth == 16) return static_cast<std::uint8_t>(sample >> 8);
    return static_cast<std::uint8_t>(sample * 255 / ((1u << kind.bitDepth) - 1));
  };
  if (kind.colourType == 3) return PaletteEntry(Sample(kind, column, top, 0));
  if (kind.colourType == 2 || kind.colourType == 6) return {eight(2), eight(1), eight(0)};
  return {eight(0), eight(0), eight(0)};
}

inline void PutBig(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<std::uint8_t>(value >> shift));
}

inline void PutChunk(std::vector<std::uint8_t>& png, const char* type, const std::vector<std::uint8_t>& data) {
  PutBig(png, static_cast<std::uint32_t>(data.size()));
  const std::size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  png.insert(png.end(), data.begin(), data.end());
  std::uint32_t crc = 0xFFFFFFFF;
  for (std::size_t i = start; i < png.size(); ++i) {
    crc ^= png[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0u - (crc & 1)));
  }
  PutBig(png, ~crc);
}

// One reduced picture's rows (the whole picture, or an interlacing pass),
// each led by filter type 0.
inline void PutRows(std::vector<std::uint8_t>& raw, const PngKind& kind, std::uint32_t width, std::uint32_t height,
                    std::uint32_t x0, std::uint32_t y0, std::uint32_t dx, std::uint32_t dy) {
  if (x0 >= width || y0 >= height) return;
  for (std::uint32_t y = y0; y < height; y += dy) {
    raw.push_back(0);
    std::uint32_t bits = 0, used = 0;
    for (std::uint32_t x = x0; x < width; x += dx) {
      for (unsigned c = 0; c < Channels(kind); ++c) {
        bits = bits << kind.bitDepth | Sample(kind, x, y, c);
        for (used += kind.bitDepth; used >= 8; used -= 8) raw.push_back(static_cast<std::uint8_t>(bits >> (used - 8)));
      }
    }
    if (used > 0) raw.push_back(static_cast<std::uint8_t>(bits << (8 - used)));
  }
}

// A PNG of the kind; `sides` overrides the sides its header claims.
inline std::vector<std::uint8_t> MakePng(const PngKind& kind, std::uint32_t width, std::uint32_t height,
                                         std::array<std::uint32_t, 2> sides = {0, 0}) {
  std::vector<std::uint8_t> raw;
  if (!kind.interlaced) PutRows(raw, kind, width, height, 0, 0, 1, 1);
  const std::uint32_t passes[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  for (const auto& p : passes) {
    if (kind.interlaced) PutRows(raw, kind, width, height, p[0], p[1], p[2], p[3]);
  }
  std::vector<std::uint8_t> zlib{0x78, 0x01};
  std::uint32_t a = 1, b = 0;
  for (std::size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const auto length = static_cast<std::uint16_t>(std::min<std::size_t>(65535, raw.size() - at));
    zlib.push_back(at + length == raw.size() ? 1 : 0);
    zlib.insert(zlib.end(), {static_cast<std::uint8_t>(length), static_cast<std::uint8_t>(length >> 8),
                             static_cast<std::uint8_t>(~length), static_cast<std::uint8_t>(~length >> 8)});
    zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(at),
                raw.begin() + static_cast<std::ptrdiff_t>(at + length));
  }
  for (const std::uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBig(zlib, b << 16 | a);

  std::vector<std::uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<std::uint8_t> header;
  PutBig(header, sides[0] != 0 ? sides[0] : width);
  PutBig(header, sides[1] != 0 ? sides[1] : height);
  header.insert(header.end(), {kind.bitDepth, kind.colourType, 0, 0, static_cast<std::uint8_t>(kind.interlaced)});
  PutChunk(png, "IHDR", header);
  if (kind.colourType == 3) {
    std::vector<std::uint8_t> palette;
    for (std::uint32_t i = 0; i < (1u << kind.bitDepth); ++i) {
      const auto entry = PaletteEntry(i);
      palette.insert(palette.end(), {entry[2], entry[1], entry[0]});
    }
    PutChunk(png, "PLTE", palette);
  }
  PutChunk(png, "IDAT", zlib);
  PutChunk(png, "IEND", {});
  return png;
}

}  // namespace png_test
