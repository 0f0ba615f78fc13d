#include "png_encoder.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <thread>
#include <utility>
#include <vector>

#include "frame_file.h"

namespace fs = std::filesystem;

namespace {

// More threads would add memory (each holds its zlib state and two bands)
// rather than speed: sixteen compress faster than most disks write.
constexpr std::size_t kMostThreads = 16;

// Filtered rows are handed to zlib this many bytes at a time (or one row).
constexpr std::size_t kStageBytes = 64 * 1024;

void PutBigEndian(std::uint8_t* to, std::uint32_t value) {
  to[0] = static_cast<std::uint8_t>(value >> 24);
  to[1] = static_cast<std::uint8_t>(value >> 16);
  to[2] = static_cast<std::uint8_t>(value >> 8);
  to[3] = static_cast<std::uint8_t>(value);
}

int Strategy(PngStrategy strategy) {
  switch (strategy) {
    case PngStrategy::Filtered: return Z_FILTERED;
    case PngStrategy::Rle: return Z_RLE;
    case PngStrategy::Default: break;
  }
  return Z_DEFAULT_STRATEGY;
}

// The zlib stream's two header bytes, as zlib would write them for these
// settings: a 32 KiB window, the level's class, the check bits.
void ZlibHeader(const PngSettings& settings, std::uint8_t* to) {
  unsigned header = (Z_DEFLATED + (7 << 4)) << 8;
  unsigned levelClass = 3;
  if (settings.strategy == PngStrategy::Rle || settings.level < 2) {
    levelClass = 0;
  } else if (settings.level < 6) {
    levelClass = 1;
  } else if (settings.level == 6) {
    levelClass = 2;
  }
  header |= levelClass << 6;
  header += 31 - header % 31;
  to[0] = static_cast<std::uint8_t>(header >> 8);
  to[1] = static_cast<std::uint8_t>(header);
}

int Paeth(int a, int b, int c) {
  const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
  return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

template <PngFilter filter>
std::uint8_t Filtered(int value, int a, int b, int c) {
  int predicted = 0;
  if constexpr (filter == PngFilter::Sub) predicted = a;
  if constexpr (filter == PngFilter::Up) predicted = b;
  if constexpr (filter == PngFilter::Average) predicted = (a + b) >> 1;
  if constexpr (filter == PngFilter::Paeth) predicted = Paeth(a, b, c);
  return static_cast<std::uint8_t>(value - predicted);
}

// One PNG row from B, G, R source bytes: the filter's byte, then each R, G,
// B byte less its prediction from the byte to the left (a), above (b) and
// above-left (c), which are 0 outside the picture (`above` is a row of
// zeros for the first row). Filtered in B, G, R order first, a loop the
// compiler vectorizes, then each pixel's bytes turned round.
template <PngFilter filter>
void FilterRow(const std::uint8_t* __restrict row, const std::uint8_t* __restrict above, std::size_t width,
               std::uint8_t* __restrict out) {
  *out++ = static_cast<std::uint8_t>(filter);
  const std::size_t size = 3 * width;
  for (std::size_t i = 0; i < 3; ++i) out[i] = Filtered<filter>(row[i], 0, above[i], 0);
  for (std::size_t i = 3; i < size; ++i) out[i] = Filtered<filter>(row[i], row[i - 3], above[i], above[i - 3]);
  for (std::size_t i = 0; i < size; i += 3) std::swap(out[i], out[i + 2]);
}

// The filters in the order of their numbers in a row's first byte.
using RowFilter = void (*)(const std::uint8_t*, const std::uint8_t*, std::size_t, std::uint8_t*);
constexpr RowFilter kRowFilters[] = {FilterRow<PngFilter::None>, FilterRow<PngFilter::Sub>,
                                     FilterRow<PngFilter::Up>, FilterRow<PngFilter::Average>,
                                     FilterRow<PngFilter::Paeth>};

// How far a filtered row is from all zeros, bytes taken as signed: the
// usual guess at which filter compresses a row best.
std::uint64_t Cost(const std::uint8_t* filtered, std::size_t size) {
  std::uint64_t sum = 0;
  for (std::size_t i = 1; i < size; ++i) sum += filtered[i] < 128 ? filtered[i] : 256u - filtered[i];
  return sum;
}

// A band compressed: "IDAT" and the deflate data (after the zlib header in
// the first band), with the Adler-32 of its filtered rows, for joining.
struct Band {
  enum State : std::uint8_t { Free, Claimed, Done } state = Free;
  std::error_code reason;
  std::vector<std::uint8_t> bytes;
  std::size_t used = 0;
  std::uint32_t crc = 0;  // of bytes[0, used)
  uLong adler = 0;
  std::size_t rawBytes = 0;
};

// What one compressing thread keeps from band to band.
class Compressor {
 public:
  Compressor() = default;
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  ~Compressor() {
    if (ready_) deflateEnd(&stream_);
  }

  // Band `index` (rows top row first) into `band`; false with a reason on failure.
  bool Compress(const PngSettings& settings, const std::uint8_t* bgrRows, std::uint32_t width,
                std::uint32_t height, std::uint32_t bandRows, std::size_t index, Band& band) {
    try {
      return Run(settings, bgrRows, width, height, bandRows, index, band);
    } catch (const std::bad_alloc&) {
      band.reason = std::make_error_code(std::errc::not_enough_memory);
      return false;
    }
  }

 private:
  bool Run(const PngSettings& settings, const std::uint8_t* bgrRows, std::uint32_t width,
           std::uint32_t height, std::uint32_t bandRows, std::size_t index, Band& band) {
    const std::size_t sourceBytes = std::size_t{width} * 3, rowBytes = sourceBytes + 1;
    const bool last = (index + 1) * bandRows >= height;
    if (!ready_) {
      if (deflateInit2(&stream_, settings.level, Z_DEFLATED, -15, 8, Strategy(settings.strategy)) != Z_OK) {
        band.reason = std::make_error_code(std::errc::not_enough_memory);
        return false;
      }
      ready_ = true;
      const std::size_t stageRows = std::max<std::size_t>(1, kStageBytes / rowBytes);
      stage_.resize(stageRows * rowBytes);
      zeros_.assign(sourceBytes, 0);
      if (settings.filter == PngFilter::PerRow) candidates_.resize(std::size(kRowFilters) * rowBytes);
    } else {
      deflateReset(&stream_);
    }
    const std::uint32_t first = static_cast<std::uint32_t>(index * bandRows);
    const std::uint32_t end = std::min(height, first + bandRows);
    band.rawBytes = (end - first) * rowBytes;
    // Room for all of it in most cases; more is added if not.
    const std::size_t bound = 4 + 2 + deflateBound(&stream_, static_cast<uLong>(band.rawBytes)) + 16 + 4;
    if (band.bytes.size() < bound) band.bytes.resize(bound);
    std::memcpy(band.bytes.data(), "IDAT", 4);
    band.used = 4;
    if (index == 0) {
      ZlibHeader(settings, band.bytes.data() + 4);
      band.used += 2;
    }
    band.adler = adler32(0, nullptr, 0);
    const std::size_t stageRows = stage_.size() / rowBytes;
    for (std::uint32_t row = first; row < end;) {
      const std::uint32_t stop = static_cast<std::uint32_t>(std::min<std::size_t>(end, row + stageRows));
      std::uint8_t* out = stage_.data();
      for (; row < stop; ++row, out += rowBytes) {
        // PNG rows run top row first, ours bottom row first.
        const std::uint8_t* source = bgrRows + std::size_t{height - 1 - row} * sourceBytes;
        const std::uint8_t* above = row > 0 ? source + sourceBytes : zeros_.data();
        FilterInto(settings.filter, source, above, width, out, rowBytes);
      }
      const auto staged = static_cast<uInt>(out - stage_.data());
      band.adler = adler32(band.adler, stage_.data(), staged);
      if (!Deflate(band, stage_.data(), staged, Z_NO_FLUSH)) return false;
    }
    // Every band but the last ends on a byte, in a block that is not the
    // final one, so that the bands join into one deflate stream.
    if (!Deflate(band, nullptr, 0, last ? Z_FINISH : Z_SYNC_FLUSH)) return false;
    band.crc = static_cast<std::uint32_t>(crc32(0, band.bytes.data(), static_cast<uInt>(band.used)));
    return true;
  }

  void FilterInto(PngFilter filter, const std::uint8_t* source, const std::uint8_t* above,
                  std::uint32_t width, std::uint8_t* out, std::size_t rowBytes) {
    if (filter != PngFilter::PerRow) {
      kRowFilters[static_cast<std::size_t>(filter)](source, above, width, out);
      return;
    }
    const std::uint8_t* best = nullptr;
    std::uint64_t bestCost = 0;
    for (std::size_t i = 0; i < std::size(kRowFilters); ++i) {
      std::uint8_t* candidate = candidates_.data() + i * rowBytes;
      kRowFilters[i](source, above, width, candidate);
      const std::uint64_t cost = Cost(candidate, rowBytes);
      if (best == nullptr || cost < bestCost) best = candidate, bestCost = cost;
    }
    std::memcpy(out, best, rowBytes);
  }

  bool Deflate(Band& band, const std::uint8_t* input, uInt size, int flush) {
    stream_.next_in = const_cast<Bytef*>(input);
    stream_.avail_in = size;
    for (;;) {
      // Four bytes to spare, for the Adler-32 after the last band.
      if (band.bytes.size() - band.used < 64 + 4) band.bytes.resize(band.bytes.size() * 3 / 2 + 64 * 1024);
      const std::size_t room = std::min<std::size_t>(band.bytes.size() - 4 - band.used, UINT_MAX);
      stream_.next_out = band.bytes.data() + band.used;
      stream_.avail_out = static_cast<uInt>(room);
      const int result = deflate(&stream_, flush);
      band.used += room - stream_.avail_out;
      if (result == Z_STREAM_ERROR) {
        band.reason = std::make_error_code(std::errc::io_error);
        return false;
      }
      if (flush == Z_FINISH ? result == Z_STREAM_END : stream_.avail_in == 0 && stream_.avail_out != 0) {
        return true;
      }
    }
  }

  z_stream stream_{};
  bool ready_ = false;
  std::vector<std::uint8_t> stage_, candidates_, zeros_;
};

// The file, written in order; false once a write has failed, the reason kept.
class PngFile {
 public:
  explicit PngFile(const fs::path& file) {
    errno = 0;
#ifdef _WIN32
    stream_ = _wfopen(file.c_str(), L"wb");
#else
    stream_ = std::fopen(file.c_str(), "wb");
#endif
    if (stream_ == nullptr) reason_ = ErrnoReason();
  }
  PngFile(const PngFile&) = delete;
  PngFile& operator=(const PngFile&) = delete;
  ~PngFile() {
    if (stream_ != nullptr) std::fclose(stream_);
  }

  bool Put(const void* bytes, std::size_t size) {
    if (stream_ == nullptr || reason_) return false;
    errno = 0;
    if (std::fwrite(bytes, 1, size, stream_) != size) reason_ = ErrnoReason();
    return !reason_;
  }

  bool PutNumber(std::uint32_t value) {
    std::uint8_t bytes[4];
    PutBigEndian(bytes, value);
    return Put(bytes, 4);
  }

  // A chunk whose bytes (its type, then its data) and CRC are at hand.
  bool PutChunk(const std::uint8_t* typeAndData, std::size_t size, std::uint32_t crc) {
    return PutNumber(static_cast<std::uint32_t>(size - 4)) && Put(typeAndData, size) && PutNumber(crc);
  }

  bool PutChunk(const char (&type)[5], const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> bytes(type, type + 4);
    bytes.insert(bytes.end(), data, data + size);
    const uLong crc = crc32(0, bytes.data(), static_cast<uInt>(bytes.size()));
    return PutChunk(bytes.data(), bytes.size(), static_cast<std::uint32_t>(crc));
  }

  // Closing flushes the last bytes, which may fail too (a full disk).
  bool Close() {
    if (stream_ == nullptr) return false;
    errno = 0;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!closed && !reason_) reason_ = ErrnoReason();
    return !reason_;
  }

  const std::error_code& reason() const { return reason_; }

 private:
  std::FILE* stream_ = nullptr;
  std::error_code reason_;
};

// The bands, compressed on all threads while the calling thread writes them
// in order and compresses too whenever the next band is not done yet. At
// most `slots` bands are held at once, so memory stays bounded whatever the
// picture's size.
class BandWork {
 public:
  BandWork(const PngSettings& settings, const std::uint8_t* bgrRows, std::uint32_t width,
           std::uint32_t height, std::uint32_t bandRows, std::size_t count, std::size_t slots)
      : settings_(settings), bgrRows_(bgrRows), width_(width), height_(height), bandRows_(bandRows),
        count_(count), bands_(slots) {}

  // Workers run until every band is claimed or something failed.
  void Work() {
    Compressor compressor;
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return failed_ || claimed_ >= count_ || Claimable(); });
      if (failed_ || claimed_ >= count_) return;
      CompressNext(compressor, lock);
    }
  }

  // Band `index`, once compressed; null if any band failed.
  Band* Next(std::size_t index, Compressor& compressor) {
    Band& band = bands_[index % bands_.size()];
    std::unique_lock lock(mutex_);
    while (band.state != Band::Done && !failed_) {
      if (claimed_ < count_ && Claimable()) {
        CompressNext(compressor, lock);
      } else {
        changed_.wait(lock);
      }
    }
    return failed_ ? nullptr : &band;
  }

  // Its slot is free for a later band.
  void Written(std::size_t index) {
    const std::lock_guard lock(mutex_);
    bands_[index % bands_.size()].state = Band::Free;
    written_ = index + 1;
    changed_.notify_all();
  }

  void Fail(const std::error_code& reason) {
    const std::lock_guard lock(mutex_);
    if (!failed_) reason_ = reason;
    failed_ = true;
    changed_.notify_all();
  }

  const std::error_code& reason() const { return reason_; }

 private:
  bool Claimable() const { return claimed_ < written_ + bands_.size(); }

  void CompressNext(Compressor& compressor, std::unique_lock<std::mutex>& lock) {
    const std::size_t index = claimed_++;
    Band& band = bands_[index % bands_.size()];
    band.state = Band::Claimed;
    lock.unlock();
    const bool compressed =
        compressor.Compress(settings_, bgrRows_, width_, height_, bandRows_, index, band);
    lock.lock();
    band.state = Band::Done;
    if (!compressed && !failed_) reason_ = band.reason, failed_ = true;
    changed_.notify_all();
  }

  const PngSettings& settings_;
  const std::uint8_t* bgrRows_;
  std::uint32_t width_, height_, bandRows_;
  std::size_t count_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Band> bands_;
  std::size_t claimed_ = 0, written_ = 0;
  bool failed_ = false;
  std::error_code reason_;
};

// The profile's chunk, which must come before the image data: iCCP, its
// profile compressed, or sRGB, its rendering intent.
bool PutProfile(PngFile& out, const ColourProfile& profile, std::error_code& reason) {
  if (profile.icc.empty()) {
    return !profile.srgb || out.PutChunk("sRGB", &profile.renderingIntent, 1);
  }
  static constexpr char kName[] = "ICC profile";  // with its terminating zero
  uLongf compressed = compressBound(static_cast<uLong>(profile.icc.size()));
  std::vector<std::uint8_t> chunk(sizeof kName + 1 + compressed);
  std::copy(kName, kName + sizeof kName, chunk.begin());
  chunk[sizeof kName] = 0;  // deflate
  if (compress2(chunk.data() + sizeof kName + 1, &compressed, profile.icc.data(),
                static_cast<uLong>(profile.icc.size()), Z_BEST_COMPRESSION) != Z_OK) {
    reason = std::make_error_code(std::errc::not_enough_memory);
    return false;
  }
  return out.PutChunk("iCCP", chunk.data(), sizeof kName + 1 + compressed);
}

bool Encode(PngFile& out, std::uint32_t width, std::uint32_t height, const std::uint8_t* bgrRows,
            const PngSettings& settings, std::error_code& reason) {
  static constexpr std::uint8_t kSignature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::uint8_t header[13] = {};
  PutBigEndian(header, width);
  PutBigEndian(header + 4, height);
  header[8] = 8;  // bits per channel
  header[9] = 2;  // RGB; compression, filter method and interlacing stay 0
  if (!out.Put(kSignature, sizeof kSignature) || !out.PutChunk("IHDR", header, sizeof header)) {
    return false;
  }
  if (settings.profile != nullptr && !PutProfile(out, *settings.profile, reason)) return false;

  const std::size_t rowBytes = std::size_t{width} * 3 + 1;
  const auto bandRows = static_cast<std::uint32_t>(
      std::clamp<std::size_t>(settings.bandBytes / rowBytes, 1, height));
  const std::size_t count = (height + std::size_t{bandRows} - 1) / bandRows;
  unsigned threads = settings.threads != 0 ? settings.threads : std::thread::hardware_concurrency();
  threads = static_cast<unsigned>(std::clamp<std::size_t>(threads, 1, std::min<std::size_t>(count, kMostThreads)));
  BandWork work(settings, bgrRows, width, height, bandRows, count, 2 * std::size_t{threads});
  std::vector<std::thread> workers;
  // A thread that cannot start leaves its bands to the others and to this one.
  for (unsigned i = 1; i < threads; ++i) {
    try {
      workers.emplace_back(&BandWork::Work, &work);
    } catch (const std::system_error&) {
      break;
    } catch (const std::bad_alloc&) {
      break;
    }
  }
  Compressor compressor;
  uLong adler = adler32(0, nullptr, 0);
  bool written = true;
  for (std::size_t index = 0; index < count && written; ++index) {
    Band* band = work.Next(index, compressor);
    if (band == nullptr) {
      reason = work.reason();
      written = false;
      break;
    }
    adler = adler32_combine(adler, band->adler, static_cast<z_off_t>(band->rawBytes));
    if (index + 1 == count) {
      // The zlib stream ends with the Adler-32 of all its data.
      PutBigEndian(band->bytes.data() + band->used, static_cast<std::uint32_t>(adler));
      band->crc = static_cast<std::uint32_t>(crc32(band->crc, band->bytes.data() + band->used, 4));
      band->used += 4;
    }
    written = out.PutChunk(band->bytes.data(), band->used, band->crc);
    if (written) {
      work.Written(index);
    } else {
      work.Fail(out.reason());
    }
  }
  for (std::thread& worker : workers) worker.join();
  return written && out.PutChunk("IEND", nullptr, 0);
}

}  // namespace

bool WritePng(const fs::path& file, std::uint32_t width, std::uint32_t height, const std::uint8_t* bgrRows,
              std::error_code& reason) {
  PngSettings settings = kPngSettings;
  if (!SourceColourProfile().Empty()) settings.profile = &SourceColourProfile();
  return WritePng(file, width, height, bgrRows, settings, reason);
}

bool WritePng(const fs::path& file, std::uint32_t width, std::uint32_t height, const std::uint8_t* bgrRows,
              const PngSettings& settings, std::error_code& reason) {
  // Rows and bands must stay within zlib's 32-bit counts.
  if (width == 0 || height == 0 || width > 0x7FFFFFFF / 3 || height > 0x7FFFFFFF ||
      settings.level < 1 || settings.level > 9 || settings.bandBytes > 0x7FFFFFFF) {
    reason = std::make_error_code(std::errc::invalid_argument);
    return false;
  }
  PngFile out(file);
  reason.clear();
  bool written = false;
  try {
    written = Encode(out, width, height, bgrRows, settings, reason);
  } catch (const std::bad_alloc&) {
    reason = std::make_error_code(std::errc::not_enough_memory);
  }
  written = out.Close() && written;
  if (!written && !reason) reason = out.reason();
  if (!written && !reason) reason = std::make_error_code(std::errc::io_error);
  return written;
}
