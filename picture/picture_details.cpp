#include "picture_details.h"

#include <cstring>

#include <zlib.h>

namespace {

constexpr char kIccSignature[] = "ICC_PROFILE";  // with its terminating zero

ColourProfile sourceProfile;

std::uint32_t BigEndian32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3];
}

// The size an ICC profile's header gives, and its signature: what a
// program that reads the profile checks first.
bool LooksLikeIcc(const std::vector<std::uint8_t>& icc) {
  return icc.size() >= 128 && icc.size() <= kMostProfileBytes && BigEndian32(icc.data()) == icc.size() &&
         std::memcmp(icc.data() + 36, "acsp", 4) == 0;
}

}  // namespace

Orientation ExifOrientation(const std::uint8_t* tiff, std::size_t size) {
  if (size < 8) return kAsStored;
  const bool bigEndian = tiff[0] == 'M' && tiff[1] == 'M';
  if (!bigEndian && !(tiff[0] == 'I' && tiff[1] == 'I')) return kAsStored;
  // Offsets are 32 bits, checked in 64 against the size, so none wraps.
  const auto read = [&](std::uint64_t at, unsigned bytes) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < bytes; ++i) {
      const std::uint32_t byte = tiff[at + (bigEndian ? i : bytes - 1 - i)];
      value = value << 8 | byte;
    }
    return value;
  };
  if (read(2, 2) != 42) return kAsStored;
  // The first directory: a count, then 12 bytes an entry (tag, type, count,
  // value). Only it is read, so a loop of directories costs nothing.
  const std::uint64_t directory = read(4, 4);
  if (directory < 8 || directory + 2 > size) return kAsStored;
  const std::uint64_t entries = read(directory, 2);
  if (directory + 2 + 12 * entries > size) return kAsStored;
  for (std::uint64_t entry = directory + 2; entry < directory + 2 + 12 * entries; entry += 12) {
    if (read(entry, 2) != 274) continue;
    // One SHORT, held in the entry itself.
    const std::uint32_t value = read(entry + 8, 2);
    if (read(entry + 2, 2) != 3 || read(entry + 4, 4) != 1 || value < 1 || value > 8) return kAsStored;
    return static_cast<Orientation>(value);
  }
  return kAsStored;
}

void IccChunks::Add(const std::uint8_t* segment, std::size_t size) {
  constexpr std::size_t kHeader = sizeof kIccSignature + 2;
  if (size < kHeader || std::memcmp(segment, kIccSignature, sizeof kIccSignature) != 0) return;
  const unsigned number = segment[sizeof kIccSignature], count = segment[sizeof kIccSignature + 1];
  if (chunks_.empty()) {
    chunks_.resize(count);
    seen_.resize(count);
  }
  bytes_ += size - kHeader;
  if (broken_ || number < 1 || number > count || count != chunks_.size() || seen_[number - 1] ||
      bytes_ > kMostProfileBytes) {
    broken_ = true;
    return;
  }
  seen_[number - 1] = true;
  chunks_[number - 1].assign(segment + kHeader, segment + size);
}

std::vector<std::uint8_t> IccChunks::Joined() const {
  std::vector<std::uint8_t> icc;
  if (broken_ || chunks_.empty()) return icc;
  for (std::size_t i = 0; i < chunks_.size(); ++i) {
    if (!seen_[i]) return {};
    icc.insert(icc.end(), chunks_[i].begin(), chunks_[i].end());
  }
  return LooksLikeIcc(icc) ? icc : std::vector<std::uint8_t>{};
}

std::vector<std::uint8_t> IccFromPngChunk(const std::uint8_t* data, std::size_t size) {
  // A name of 1 to 79 bytes, a zero, compression method 0, a zlib stream.
  const auto* end = static_cast<const std::uint8_t*>(std::memchr(data, 0, size < 80 ? size : 80));
  if (end == nullptr || end == data || end + 2 > data + size || end[1] != 0) return {};
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return {};
  stream.next_in = const_cast<Bytef*>(end + 2);
  stream.avail_in = static_cast<uInt>(data + size - (end + 2));
  // Inflated a piece at a time, so that a small stream that claims to
  // unpack to gigabytes stops at the limit.
  std::vector<std::uint8_t> icc;
  int status = Z_OK;
  while (status == Z_OK && icc.size() <= kMostProfileBytes) {
    const std::size_t had = icc.size();
    icc.resize(had + (std::size_t{1} << 16));
    stream.next_out = icc.data() + had;
    stream.avail_out = 1u << 16;
    status = inflate(&stream, Z_NO_FLUSH);
    icc.resize(icc.size() - stream.avail_out);
  }
  inflateEnd(&stream);
  if (status != Z_STREAM_END || !LooksLikeIcc(icc)) return {};
  return icc;
}

const ColourProfile& SourceColourProfile() { return sourceProfile; }

void SetSourceColourProfile(const ColourProfile* profile) {
  sourceProfile = profile != nullptr ? *profile : ColourProfile{};
}
