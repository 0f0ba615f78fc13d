#include "bmp_file.h"

#include <cerrno>
#include <cstdio>
#include <vector>

#include "frame_file.h"

namespace {

std::uint32_t ReadU32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
         std::uint32_t{p[3]} << 24;
}

std::uint16_t ReadU16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

void PutU32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) {
    bytes.push_back(static_cast<std::uint8_t>(value >> shift));
  }
}

void PutU16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::uint64_t PaddedRowBytes(std::uint64_t width, unsigned bitsPerPixel) {
  return (width * bitsPerPixel + 31) / 32 * 4;
}

// Converts one B, G, R pixel to the file's depth.
void PutPixel(std::vector<std::uint8_t>& row, const std::uint8_t* bgr, unsigned bitsPerPixel) {
  switch (bitsPerPixel) {
    case 8:
      row.push_back(static_cast<std::uint8_t>((bgr[0] * 29 + bgr[1] * 150 + bgr[2] * 77) >> 8));
      break;
    case 16:
      PutU16(row, static_cast<std::uint16_t>((bgr[2] >> 3) << 10 | (bgr[1] >> 3) << 5 |
                                             bgr[0] >> 3));
      break;
    default:
      row.insert(row.end(), bgr, bgr + 3);
      if (bitsPerPixel == 32) row.push_back(0xFF);
      break;
  }
}

}  // namespace

bool ParseBmpHeader(const std::uint8_t* bytes, std::size_t size, BmpHeader* header) {
  if (size < 18 || bytes[0] != 'B' || bytes[1] != 'M') return false;
  BmpHeader parsed{};
  parsed.dataOffset = ReadU32(bytes + 10);
  parsed.infoSize = ReadU32(bytes + 14);
  const std::uint32_t info = parsed.infoSize;
  if (info != 12 && info != 16 && info != 40 && info != 52 && info != 56 && info != 64 &&
      info != 108 && info != 124) {
    return false;
  }
  if (size < 14 + std::size_t{info}) return false;
  if (info == 12) {
    // The old OS/2 header: unsigned 16-bit sides, always bottom-up.
    parsed.width = ReadU16(bytes + 18);
    parsed.height = ReadU16(bytes + 20);
    parsed.planes = ReadU16(bytes + 22);
    parsed.bitsPerPixel = ReadU16(bytes + 24);
    *header = parsed;
    return true;
  }
  parsed.width = static_cast<std::int32_t>(ReadU32(bytes + 18));
  const auto height = static_cast<std::int32_t>(ReadU32(bytes + 22));
  parsed.topDown = height < 0;
  parsed.height = height < 0 ? -std::int64_t{height} : std::int64_t{height};
  parsed.planes = ReadU16(bytes + 26);
  parsed.bitsPerPixel = ReadU16(bytes + 28);
  if (info >= 40) parsed.compression = ReadU32(bytes + 30);
  // Masks live in the newer Windows headers, or follow the 40-byte one when
  // it asks for bit fields; OS/2's 64-byte header has none.
  std::size_t masksAt = 0;
  std::size_t maskCount = 0;
  if (info >= 52 && info != 64) {
    masksAt = 54;
    maskCount = info >= 56 ? 4 : 3;
  } else if (info == 40 && (parsed.compression == 3 || parsed.compression == 6)) {
    masksAt = 54;
    maskCount = parsed.compression == 6 ? 4 : 3;
  }
  if (maskCount > 0 && size >= masksAt + 4 * maskCount) {
    parsed.hasMasks = true;
    for (std::size_t i = 0; i < maskCount; ++i) parsed.masks[i] = ReadU32(bytes + masksAt + 4 * i);
  }
  *header = parsed;
  return true;
}

std::uint64_t UncompressedDataSize(const BmpHeader& header) {
  // 0 plain, 3 and 6 bit fields: rows are stored as they are.
  if (header.compression != 0 && header.compression != 3 && header.compression != 6) return 0;
  if (header.width <= 0 || header.height <= 0) return 0;
  return PaddedRowBytes(static_cast<std::uint64_t>(header.width), header.bitsPerPixel) *
         static_cast<std::uint64_t>(header.height);
}

namespace {

bool IsWholeByte(std::uint32_t mask) {
  return mask == 0xFFu || mask == 0xFF00u || mask == 0xFF0000u || mask == 0xFF000000u;
}

// Colour masks the decoder turns into exactly the stored bytes: one whole
// byte per colour, and alpha, if any, in a byte of its own.
bool AreByteMasks(const std::uint32_t (&masks)[4]) {
  const std::uint32_t red = masks[0], green = masks[1], blue = masks[2], alpha = masks[3];
  if (!IsWholeByte(red) || !IsWholeByte(green) || !IsWholeByte(blue)) return false;
  if ((red & green) != 0 || (red & blue) != 0 || (green & blue) != 0) return false;
  return alpha == 0 || (IsWholeByte(alpha) && (alpha & (red | green | blue)) == 0);
}

bool IsReadableEncoding(const BmpHeader& header) {
  // The short OS/2 2.x header is one the decoder misreads.
  if (header.infoSize == 16) return false;
  if (header.bitsPerPixel != 24 && header.bitsPerPixel != 32) return false;
  if (header.compression == 0) return true;
  // Bit fields only in a Windows header at 32 bits; to OS/2, 3 is Huffman
  // coding. RLE, JPEG, PNG and alpha bit fields are not read.
  if (header.compression != 3 || header.bitsPerPixel != 32 || header.infoSize == 64) return false;
  return !header.hasMasks || AreByteMasks(header.masks);
}

}  // namespace

LoadResult CheckBmpHeader(const BmpHeader& header, std::uint64_t fileSize, std::int64_t minSide) {
  const LoadResult picture =
      CheckPicture(header.width, header.height, header.bitsPerPixel, minSide);
  if (picture != LoadResult::Loaded) return picture;
  if (!IsReadableEncoding(header)) return LoadResult::Unsupported;
  if (header.planes != 1 || (header.compression == 3 && !header.hasMasks)) {
    return LoadResult::NotFound;
  }
  // Pixels never overlap the headers, and every row the header promises is
  // in the file.
  const std::uint64_t headersEnd =
      14 + std::uint64_t{header.infoSize} + (header.infoSize == 40 && header.compression == 3 ? 12 : 0);
  const std::uint64_t needed = UncompressedDataSize(header);
  if (header.dataOffset < headersEnd || needed == 0 ||
      std::uint64_t{header.dataOffset} + needed > fileSize) {
    return LoadResult::NotFound;
  }
  return LoadResult::Loaded;
}

bool WriteBmp(const std::filesystem::path& path, std::uint32_t width, std::uint32_t height,
              unsigned bitsPerPixel, const std::uint8_t* bgrRows, std::error_code& reason) {
  if (bitsPerPixel != 8 && bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32) {
    reason = std::make_error_code(std::errc::invalid_argument);
    return false;
  }
  const std::uint64_t rowBytes = PaddedRowBytes(width, bitsPerPixel);
  const std::uint32_t paletteBytes = bitsPerPixel == 8 ? 256 * 4 : 0;
  const std::uint64_t dataBytes = rowBytes * height;
  const std::uint64_t fileBytes = 54 + paletteBytes + dataBytes;
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF ||
      fileBytes > 0xFFFFFFFF) {
    reason = std::make_error_code(std::errc::file_too_large);
    return false;
  }

  std::vector<std::uint8_t> head;
  head.push_back('B');
  head.push_back('M');
  PutU32(head, static_cast<std::uint32_t>(fileBytes));
  PutU32(head, 0);
  PutU32(head, 54 + paletteBytes);
  PutU32(head, 40);
  PutU32(head, width);
  PutU32(head, height);  // positive: bottom row first
  PutU16(head, 1);
  PutU16(head, static_cast<std::uint16_t>(bitsPerPixel));
  PutU32(head, 0);
  PutU32(head, static_cast<std::uint32_t>(dataBytes));
  PutU32(head, 2835);  // 72 dots per inch
  PutU32(head, 2835);
  PutU32(head, bitsPerPixel == 8 ? 256 : 0);
  PutU32(head, 0);
  for (std::uint32_t level = 0; level < paletteBytes / 4; ++level) {
    const auto grey = static_cast<std::uint8_t>(level);
    head.insert(head.end(), {grey, grey, grey, 0});
  }

  const auto write = [&](const std::filesystem::path& temporary, std::error_code& failure) {
    errno = 0;
    std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
    if (file == nullptr) {
      failure = ErrnoReason();
      return false;
    }
    bool written = std::fwrite(head.data(), 1, head.size(), file) == head.size();
    std::vector<std::uint8_t> row;
    row.reserve(static_cast<std::size_t>(rowBytes));
    const std::uint8_t* in = bgrRows;
    for (std::uint32_t r = 0; r < height && written; ++r) {
      row.clear();
      for (std::uint32_t c = 0; c < width; ++c, in += 3) PutPixel(row, in, bitsPerPixel);
      row.resize(static_cast<std::size_t>(rowBytes), 0);
      written = std::fwrite(row.data(), 1, row.size(), file) == row.size();
    }
    if (!written) failure = ErrnoReason();
    if (std::fclose(file) != 0 && written) {
      failure = ErrnoReason();
      written = false;
    }
    return written;
  };
  return WriteThroughTemporary(path, true, write, reason) == WriteOutcome::Written;
}
