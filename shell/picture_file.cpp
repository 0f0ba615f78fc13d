#include "picture_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

#include "available_memory.h"

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Deflate codes at best 258 bytes in two bits: no PNG's pixel data is
// smaller than its unpacked rows divided by this.
constexpr std::uint64_t kDeflateBestRatio = 1032;

// Any side checks pass the depth rule, which is BMP's own.
constexpr unsigned kDeepEnough = 24;

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t BigEndian16(const std::uint8_t* p) { return std::uint32_t{p[0]} << 8 | p[1]; }

LoadResult CheckMemory(const PictureHeader& header) {
  return PictureFitsInMemory(static_cast<std::uint64_t>(header.width),
                             static_cast<std::uint64_t>(header.height), AvailableMemoryBytes())
             ? LoadResult::Loaded
             : LoadResult::OutOfMemory;
}

LoadResult CheckBmp(const ReadAt& read, std::uint64_t fileSize, PictureHeader* header,
                    std::int64_t minSide) {
  std::uint8_t start[kBmpHeaderBytes] = {};
  const std::size_t got = read(0, start, sizeof start);
  if (!ParseBmpHeader(start, got, &header->bmp)) return LoadResult::NotFound;
  header->width = header->bmp.width;
  header->height = header->bmp.height;
  return CheckBmpHeader(header->bmp, fileSize, minSide);
}

// Colour types and their channels; each allows only some bit depths.
unsigned PngChannels(unsigned colourType, unsigned bitDepth) {
  const bool byteDepth = bitDepth == 8 || bitDepth == 16;
  const bool smallDepth = bitDepth == 1 || bitDepth == 2 || bitDepth == 4;
  switch (colourType) {
    case 0: return byteDepth || smallDepth ? 1 : 0;       // grey
    case 2: return byteDepth ? 3 : 0;                     // RGB
    case 3: return smallDepth || bitDepth == 8 ? 1 : 0;   // palette
    case 4: return byteDepth ? 2 : 0;                     // grey and alpha
    case 6: return byteDepth ? 4 : 0;                     // RGBA
    default: return 0;
  }
}

LoadResult CheckPng(const ReadAt& read, std::uint64_t fileSize, PictureHeader* header,
                    std::int64_t minSide) {
  // The signature, then the IHDR chunk: length 13, name, width, height,
  // depth, colour type, compression, filter, interlace.
  std::uint8_t start[8 + 8 + 13] = {};
  if (read(0, start, sizeof start) != sizeof start) return LoadResult::NotFound;
  const std::uint8_t* ihdr = start + 16;
  const unsigned bitDepth = ihdr[8], colourType = ihdr[9];
  const unsigned channels = PngChannels(colourType, bitDepth);
  if (BigEndian32(start + 8) != 13 || std::memcmp(start + 12, "IHDR", 4) != 0 || channels == 0 ||
      ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1) {
    return LoadResult::NotFound;
  }
  header->width = BigEndian32(ihdr);
  header->height = BigEndian32(ihdr + 4);
  const LoadResult sides = CheckPicture(header->width, header->height, kDeepEnough, minSide);
  if (sides != LoadResult::Loaded) return sides;
  const auto width = static_cast<std::uint64_t>(header->width);
  const std::uint64_t rowBytes = 1 + (width * channels * bitDepth + 7) / 8;
  if (fileSize < rowBytes * static_cast<std::uint64_t>(header->height) / kDeflateBestRatio) {
    return LoadResult::NotFound;
  }
  return LoadResult::Loaded;
}

// Whether the file holds an end-of-image marker after `from`: a JPEG cut
// short has none, and its decoder would fill the missing rows with grey.
bool HasEndOfImage(const ReadAt& read, std::uint64_t from, std::uint64_t fileSize) {
  std::vector<std::uint8_t> chunk(std::size_t{1} << 16);
  bool lastWasMarkerStart = false;
  for (std::uint64_t at = from; at < fileSize;) {
    const std::size_t got = read(at, chunk.data(), chunk.size());
    if (got == 0) return false;
    for (std::size_t i = 0; i < got; ++i) {
      if (lastWasMarkerStart && chunk[i] == 0xD9) return true;
      lastWasMarkerStart = chunk[i] == 0xFF;
    }
    at += got;
  }
  return false;
}

// Walks the marker segments up to the frame header (SOF). Only frames the
// decoders of every platform read are taken: 8-bit Huffman-coded, baseline,
// extended or progressive, of grey or colour.
LoadResult CheckJpeg(const ReadAt& read, std::uint64_t fileSize, PictureHeader* header,
                     std::int64_t minSide) {
  std::uint64_t at = 2;
  std::uint8_t marker[4];
  for (;;) {
    if (read(at, marker, 2) != 2 || marker[0] != 0xFF) return LoadResult::NotFound;
    const std::uint8_t kind = marker[1];
    if (kind == 0xFF) {  // fill byte
      ++at;
      continue;
    }
    if (kind == 0x01 || (kind >= 0xD0 && kind <= 0xD7)) {  // no length
      at += 2;
      continue;
    }
    if (read(at + 2, marker + 2, 2) != 2) return LoadResult::NotFound;
    const std::uint32_t length = BigEndian16(marker + 2);
    const bool isFrame = kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC;
    if (kind == 0xD9 || kind == 0xDA || length < 2) return LoadResult::NotFound;
    if (isFrame) break;
    at += 2 + length;
  }

  // Precision, height, width, components, then three bytes a component.
  std::uint8_t frame[6 + 3 * 255];
  const std::uint32_t length = BigEndian16(marker + 2);
  if (length < 8 || read(at + 4, frame, 6) != 6) return LoadResult::NotFound;
  const unsigned components = frame[5];
  if (components == 0 || length != 8 + 3 * components ||
      read(at + 4 + 6, frame + 6, 3 * components) != 3 * components) {
    return LoadResult::NotFound;
  }
  header->height = BigEndian16(frame + 1);
  header->width = BigEndian16(frame + 3);
  unsigned maxH = 1, maxV = 1;
  for (unsigned c = 0; c < components; ++c) {
    const unsigned h = frame[7 + 3 * c] >> 4, v = frame[7 + 3 * c] & 15;
    if (h < 1 || h > 4 || v < 1 || v > 4) return LoadResult::NotFound;
    maxH = std::max(maxH, h);
    maxV = std::max(maxV, v);
  }
  const LoadResult sides = CheckPicture(header->width, header->height, kDeepEnough, minSide);
  if (sides != LoadResult::Loaded) return sides;
  const std::uint8_t kind = marker[1];
  if ((kind != 0xC0 && kind != 0xC1 && kind != 0xC2) || frame[0] != 8 ||
      (components != 1 && components != 3)) {
    return LoadResult::Unsupported;
  }
  // Every 8 x 8 block of every component costs at least one bit.
  std::uint64_t blocks = 0;
  const auto width = static_cast<std::uint64_t>(header->width);
  const auto height = static_cast<std::uint64_t>(header->height);
  for (unsigned c = 0; c < components; ++c) {
    const unsigned h = frame[7 + 3 * c] >> 4, v = frame[7 + 3 * c] & 15;
    const std::uint64_t columns = (width * h + maxH - 1) / maxH;
    const std::uint64_t rows = (height * v + maxV - 1) / maxV;
    blocks += (columns + 7) / 8 * ((rows + 7) / 8);
  }
  if (fileSize < blocks / 8 || !HasEndOfImage(read, at + 2 + length, fileSize)) {
    return LoadResult::NotFound;
  }
  return LoadResult::Loaded;
}

}  // namespace

PictureFormat FormatOf(const std::uint8_t* start, std::size_t size) {
  if (size >= 2 && start[0] == 'B' && start[1] == 'M') return PictureFormat::Bmp;
  if (size >= sizeof kPngSignature && std::memcmp(start, kPngSignature, sizeof kPngSignature) == 0) {
    return PictureFormat::Png;
  }
  if (size >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF) {
    return PictureFormat::Jpeg;
  }
  return PictureFormat::Unknown;
}

LoadResult CheckBeforeDecoding(const ReadAt& read, std::uint64_t fileSize, PictureHeader* header,
                               std::int64_t minSide) {
  *header = PictureHeader{};
  std::uint8_t start[8] = {};
  header->format = FormatOf(start, read(0, start, sizeof start));
  LoadResult verdict = LoadResult::UnknownFormat;
  switch (header->format) {
    case PictureFormat::Bmp: verdict = CheckBmp(read, fileSize, header, minSide); break;
    case PictureFormat::Png: verdict = CheckPng(read, fileSize, header, minSide); break;
    case PictureFormat::Jpeg: verdict = CheckJpeg(read, fileSize, header, minSide); break;
    case PictureFormat::Unknown: break;
  }
  return verdict == LoadResult::Loaded ? CheckMemory(*header) : verdict;
}

LoadResult CheckPictureFile(const std::filesystem::path& file, PictureHeader* header,
                            std::int64_t minSide) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return LoadResult::NotFound;
  const std::uintmax_t fileSize = std::filesystem::file_size(file, error);
  std::ifstream stream(file, std::ios::binary);
  if (error || !stream) return LoadResult::NotFound;
  const ReadAt read = [&stream](std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
    stream.clear();
    stream.seekg(static_cast<std::streamoff>(offset));
    stream.read(reinterpret_cast<char*>(buffer), static_cast<std::streamsize>(size));
    return static_cast<std::size_t>(stream.gcount());
  };
  return CheckBeforeDecoding(read, fileSize, header, minSide);
}
