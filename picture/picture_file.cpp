#include "picture_file.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <system_error>
#include <vector>

#include "available_memory.h"
#include "file_walk.h"
#include "jpeg_scan.h"

namespace {

constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

// Deflate codes at best 258 bytes in two bits: no PNG's pixel data is
// smaller than its unpacked rows divided by this.
constexpr std::uint64_t kDeflateBestRatio = 1032;

// Real progressive JPEGs have about ten scans; a file of thousands of tiny
// ones would keep a decoder busy for minutes.
constexpr unsigned kMostJpegScans = 500;
// Nor do real scans go over each coefficient more than 14 times in all
// (once, then once for each refinement bit); crafted ones could go over
// whole bands of every block again and again at no cost in bytes, with
// end-of-band runs.
constexpr std::uint64_t kMostJpegCoefficientVisits = 16;

// Any side checks pass the depth rule, which is BMP's own.
constexpr unsigned kDeepEnough = 24;

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

std::uint32_t BigEndian16(const std::uint8_t* p) { return std::uint32_t{p[0]} << 8 | p[1]; }

// The CRC-32 of PNG chunks (zlib's crc32 would do as well, now that both
// platforms link it).
// Eight bytes a step, as zlib does, so that a large picture's pixel data
// costs little: tables[k][n] is the checksum of byte n followed by k zeros.
constexpr auto kCrcTables = [] {
  std::array<std::array<std::uint32_t, 256>, 8> tables{};
  for (std::uint32_t n = 0; n < 256; ++n) {
    std::uint32_t c = n;
    for (int bit = 0; bit < 8; ++bit) c = (c & 1) != 0 ? 0xEDB88320u ^ c >> 1 : c >> 1;
    tables[0][n] = c;
  }
  for (std::size_t k = 1; k < 8; ++k) {
    for (std::uint32_t n = 0; n < 256; ++n) {
      tables[k][n] = tables[0][tables[k - 1][n] & 0xFF] ^ tables[k - 1][n] >> 8;
    }
  }
  return tables;
}();

// Carries a checksum on over more bytes: starts at ~0, ends inverted.
std::uint32_t Crc32(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size) {
  const auto& t = kCrcTables;
  for (; size >= 8; size -= 8, bytes += 8) {
    const std::uint32_t low = crc ^ (bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                     std::uint32_t{bytes[3]} << 24);
    crc = t[7][low & 0xFF] ^ t[6][low >> 8 & 0xFF] ^ t[5][low >> 16 & 0xFF] ^ t[4][low >> 24] ^
          t[3][bytes[4]] ^ t[2][bytes[5]] ^ t[1][bytes[6]] ^ t[0][bytes[7]];
  }
  for (; size > 0; --size, ++bytes) crc = t[0][(crc ^ *bytes) & 0xFF] ^ crc >> 8;
  return crc;
}

// Whether the checksum that follows a chunk's name and data is theirs.
bool ChecksumHolds(std::uint32_t crc, const std::uint8_t* stored) {
  return ~crc == BigEndian32(stored);
}

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

// The compressed pixel data of a PNG: the payload of its IDAT chunks, up to
// IEND. Zero if a chunk runs past the end of the file, IEND is missing or
// not empty, or a critical chunk (a capital first letter: PLTE, IDAT, IEND)
// has a wrong checksum: Linux's decoder refuses such a file, Windows' shows
// it. An ancillary chunk's checksum decides nothing; both read on. Of those,
// the first eXIf, and the first iCCP or sRGB, are read into the header
// when their checksums hold.
std::uint64_t PngPixelDataBytes(const ReadAt& read, std::uint64_t fileSize, std::uint64_t at,
                                PictureHeader* header) {
  constexpr std::uint32_t kLongestChunk = 0x7FFFFFFF;
  FileWalk walk(read, fileSize, at);
  std::uint64_t pixelData = 0;
  bool haveExif = false;
  for (std::uint8_t chunk[8]; walk.Read(chunk, sizeof chunk);) {
    const std::uint32_t length = BigEndian32(chunk);
    const bool end = std::memcmp(chunk + 4, "IEND", 4) == 0;
    if (length > kLongestChunk || (end && length != 0)) return 0;
    if (std::memcmp(chunk + 4, "IDAT", 4) == 0) pixelData += length;
    // EXIF is at most 64 kB in a JPEG, and so where it came from.
    const bool exif = !haveExif && std::memcmp(chunk + 4, "eXIf", 4) == 0 && length <= 0xFFFF;
    const bool profile = header->profile.Empty() &&
                         ((std::memcmp(chunk + 4, "iCCP", 4) == 0 && length <= kMostProfileBytes) ||
                          (std::memcmp(chunk + 4, "sRGB", 4) == 0 && length == 1));
    const bool ancillary = (chunk[4] & 0x20) != 0;
    if (ancillary && !exif && !profile) {
      if (!walk.Skip(std::uint64_t{length} + 4)) return 0;  // the data and its checksum
      continue;
    }
    std::uint32_t crc = Crc32(~0u, chunk + 4, 4);
    std::vector<std::uint8_t> data;
    const auto add = [&](const std::uint8_t* bytes, std::size_t size) {
      crc = Crc32(crc, bytes, size);
      if (ancillary) data.insert(data.end(), bytes, bytes + size);
    };
    std::uint8_t stored[4];
    if (!walk.Pass(length, add) || !walk.Read(stored, sizeof stored)) return 0;
    if (!ChecksumHolds(crc, stored)) {
      if (ancillary) continue;
      return 0;
    }
    if (exif) {
      haveExif = true;
      header->orientation = ExifOrientation(data.data(), data.size());
    } else if (profile && chunk[4] == 's') {
      header->profile.srgb = data[0] <= 3;  // the rendering intents
      header->profile.renderingIntent = header->profile.srgb ? data[0] : 0;
    } else if (profile) {
      header->profile.icc = IccFromPngChunk(data.data(), data.size());
    }
    if (end) return pixelData;
  }
  return 0;
}

LoadResult CheckPng(const ReadAt& read, std::uint64_t fileSize, PictureHeader* header,
                    std::int64_t minSide) {
  // The signature, then the IHDR chunk: length 13, name, width, height,
  // depth, colour type, compression, filter, interlace, checksum.
  std::uint8_t start[8 + 8 + 13 + 4] = {};
  if (read(0, start, sizeof start) != sizeof start) return LoadResult::NotFound;
  const std::uint8_t* ihdr = start + 16;
  const unsigned bitDepth = ihdr[8], colourType = ihdr[9];
  const unsigned channels = PngChannels(colourType, bitDepth);
  if (BigEndian32(start + 8) != 13 || std::memcmp(start + 12, "IHDR", 4) != 0 || channels == 0 ||
      ihdr[10] != 0 || ihdr[11] != 0 || ihdr[12] > 1 ||
      !ChecksumHolds(Crc32(~0u, start + 12, 4 + 13), ihdr + 13)) {
    return LoadResult::NotFound;
  }
  header->width = BigEndian32(ihdr);
  header->height = BigEndian32(ihdr + 4);
  const LoadResult sides = CheckPicture(header->width, header->height, kDeepEnough, minSide);
  if (sides != LoadResult::Loaded) return sides;
  // Only the pixel data counts: bytes after IEND or a large text chunk
  // cannot be decoded into rows.
  const auto width = static_cast<std::uint64_t>(header->width);
  const std::uint64_t rowBytes = 1 + (width * channels * bitDepth + 7) / 8;
  const std::uint64_t pixelData = PngPixelDataBytes(read, fileSize, sizeof start, header);
  if (pixelData == 0 || pixelData < rowBytes * static_cast<std::uint64_t>(header->height) / kDeflateBestRatio) {
    return LoadResult::NotFound;
  }
  return LoadResult::Loaded;
}

// Frames that every platform's decoder reads: 8-bit Huffman-coded,
// baseline, extended or progressive, of grey or colour. The sides come
// first, then the encoding.
LoadResult CheckJpegFrame(std::uint8_t kind, const std::uint8_t* frame, unsigned length,
                          PictureHeader* header, JpegCoding* coding, std::uint64_t* blocks,
                          std::int64_t minSide) {
  // Precision, height, width, components, then three bytes a component.
  const unsigned components = frame[5];
  if (length < 8 || components == 0 || length != 8 + 3 * components) return LoadResult::NotFound;
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
  if ((kind != 0xC0 && kind != 0xC1 && kind != 0xC2) || frame[0] != 8 ||
      (components != 1 && components != 3)) {
    return LoadResult::Unsupported;
  }
  coding->progressive = kind == 0xC2;
  coding->width = static_cast<std::uint32_t>(header->width);
  coding->height = static_cast<std::uint32_t>(header->height);
  coding->maxH = maxH;
  coding->maxV = maxV;
  coding->componentCount = components;
  for (unsigned c = 0; c < components; ++c) {
    coding->components[c] = {frame[6 + 3 * c], static_cast<std::uint8_t>(frame[7 + 3 * c] >> 4),
                             static_cast<std::uint8_t>(frame[7 + 3 * c] & 15)};
  }
  *blocks = 0;
  const auto width = static_cast<std::uint64_t>(header->width);
  const auto height = static_cast<std::uint64_t>(header->height);
  for (unsigned c = 0; c < components; ++c) {
    const unsigned h = frame[7 + 3 * c] >> 4, v = frame[7 + 3 * c] & 15;
    const std::uint64_t columns = (width * h + maxH - 1) / maxH;
    const std::uint64_t rows = (height * v + maxV - 1) / maxV;
    *blocks += (columns + 7) / 8 * ((rows + 7) / 8);
  }
  return LoadResult::Loaded;
}

// Walks every marker segment and scan up to the end-of-image marker: a file
// cut short has none, and its decoder would fill the missing rows with grey.
// Only the entropy-coded bytes can hold pixels, and every 8 x 8 block of
// every component costs at least one bit of them.
LoadResult CheckJpeg(const ReadAt& read, std::uint64_t fileSize, PictureHeader* header,
                     std::int64_t minSide) {
  FileWalk walk(read, fileSize, 2);
  JpegCoding coding{};
  bool haveFrame = false, haveExif = false;
  IccChunks icc;
  unsigned scans = 0;
  std::uint64_t blocks = 0, entropyBytes = 0;
  // Every segment we read fits, a DHT of eight tables too.
  std::vector<std::uint8_t> segment(0xFFFF);
  for (;;) {
    std::uint8_t marker[4];
    if (!walk.Next(marker) || marker[0] != 0xFF) return LoadResult::NotFound;
    const int next = ByteAfterFF(&walk);
    if (next < 0) return LoadResult::NotFound;
    const auto kind = static_cast<std::uint8_t>(next);
    if (kind == 0x01 || (kind >= 0xD0 && kind <= 0xD7)) continue;  // no length
    if (kind < 0xC0) return LoadResult::NotFound;  // reserved: no decoder reads on
    if (kind == 0xD9) {
      if (scans == 0 || entropyBytes < blocks / 8) return LoadResult::NotFound;
      header->profile.icc = icc.Joined();
      return LoadResult::Loaded;
    }
    if (kind == 0xD8 || !walk.Read(marker + 2, 2)) return LoadResult::NotFound;
    const unsigned length = BigEndian16(marker + 2);
    if (length < 2) return LoadResult::NotFound;
    const bool isFrame = kind >= 0xC0 && kind <= 0xCF && kind != 0xC4 && kind != 0xC8 && kind != 0xCC;
    const bool isTables = kind == 0xC4, isRestartInterval = kind == 0xDD, isScan = kind == 0xDA;
    // APP1 may hold EXIF, APP2 a chunk of a colour profile.
    if (kind == 0xE1 || kind == 0xE2) {
      if (!walk.Read(segment.data(), length - 2)) return LoadResult::NotFound;
      constexpr std::uint8_t kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
      if (kind == 0xE2) {
        icc.Add(segment.data(), length - 2);
      } else if (!haveExif && length - 2 >= sizeof kExif && std::memcmp(segment.data(), kExif, sizeof kExif) == 0) {
        haveExif = true;
        header->orientation = ExifOrientation(segment.data() + sizeof kExif, length - 2 - sizeof kExif);
      }
      continue;
    }
    if (!isFrame && !isTables && !isRestartInterval && !isScan) {
      if (!walk.Skip(length - 2)) return LoadResult::NotFound;
      continue;
    }
    if (!walk.Read(segment.data(), length - 2)) return LoadResult::NotFound;
    if (isFrame) {
      if (haveFrame || length - 2 > 6 + 3 * 255) return LoadResult::NotFound;
      // A frame header shorter than its fields reads zeros, not the last segment's bytes.
      std::fill(segment.begin() + (length - 2), segment.begin() + 6 + 3 * 255, std::uint8_t{0});
      const LoadResult verdict =
          CheckJpegFrame(kind, segment.data(), length, header, &coding, &blocks, minSide);
      if (verdict != LoadResult::Loaded) return verdict;
      // The scans cannot hold more than what is left of the file: a small
      // file that claims a large picture is refused before it is walked,
      // and only then its memory counts.
      if (blocks / 8 > walk.Left()) return LoadResult::NotFound;
      if (CheckMemory(*header) != LoadResult::Loaded) return LoadResult::OutOfMemory;
      coding.coefficientVisitsLeft = kMostJpegCoefficientVisits * 64 * blocks;
      haveFrame = true;
    } else if (isTables) {
      if (!ReadHuffmanTables(segment.data(), length - 2, &coding)) return LoadResult::NotFound;
    } else if (isRestartInterval) {
      if (length != 4) return LoadResult::NotFound;
      coding.restartInterval = BigEndian16(segment.data());
    } else {
      // Each scan makes the decoder go over every block once more: real
      // encoders write about ten.
      if (!haveFrame) return LoadResult::NotFound;
      if (++scans > kMostJpegScans) return LoadResult::Unsupported;
      const LoadResult walked = WalkScan(&walk, &coding, segment.data(), length - 2, &entropyBytes);
      if (walked != LoadResult::Loaded) return walked;
    }
  }
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
  // Another picture is being read: the last one's profile is no more.
  SetSourceColourProfile(nullptr);
  std::uint8_t start[8] = {};
  header->format = FormatOf(start, read(0, start, sizeof start));
  LoadResult verdict = LoadResult::UnknownFormat;
  switch (header->format) {
    case PictureFormat::Bmp: verdict = CheckBmp(read, fileSize, header, minSide); break;
    case PictureFormat::Png: verdict = CheckPng(read, fileSize, header, minSide); break;
    case PictureFormat::Jpeg: verdict = CheckJpeg(read, fileSize, header, minSide); break;
    case PictureFormat::Unknown: break;
  }
  // A JPEG's memory is checked before its scans are walked.
  if (verdict != LoadResult::Loaded || header->format == PictureFormat::Jpeg) return verdict;
  return CheckMemory(*header);
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
