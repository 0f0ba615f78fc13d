#pragma once

// Frames as PNG files, the same bytes on every platform: our own encoder
// around zlib, its rows compressed on all cores.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

#include "picture_details.h"

// The PNG row filters (each row says which it uses), and a choice per row.
enum class PngFilter : std::uint8_t { None, Sub, Up, Average, Paeth, PerRow };

// zlib's strategies that matter for filtered rows.
enum class PngStrategy : std::uint8_t { Default, Filtered, Rle };

struct PngSettings {
  int level;  // zlib's, 1 to 9
  PngStrategy strategy;
  PngFilter filter;
  // Uncompressed bytes per band (whole rows, at least one): the picture is
  // cut into bands of this size whatever the number of threads, so that
  // the file's bytes do not depend on it.
  std::size_t bandBytes;
  unsigned threads;  // 0: one per core
  // Written as an iCCP chunk, or else as an sRGB chunk; none if null.
  const ColourProfile* profile = nullptr;
};

// Chosen by measuring (docs/performance.md, Writing PNG files): Paeth
// leaves a photo's rows mostly small numbers, which zlib's run-length
// strategy codes about as small as its slow searches do, at a fraction of
// their time (that strategy ignores the level).
inline constexpr PngSettings kPngSettings = {1, PngStrategy::Rle, PngFilter::Paeth, 256 * 1024, 0};

// Writes packed B, G, R rows, bottom row first, as a 24-bit RGB PNG (a
// PngWriter, frame_file.h), with the colour profile of the picture in the
// scene (SourceColourProfile): a frame keeps its picture's colours. False on any failure, with the reason in
// `reason`; it may leave a partial file: callers write through
// WriteThroughTemporary.
bool WritePng(const std::filesystem::path& file, std::uint32_t width, std::uint32_t height,
              const std::uint8_t* bgrRows, std::error_code& reason);
bool WritePng(const std::filesystem::path& file, std::uint32_t width, std::uint32_t height,
              const std::uint8_t* bgrRows, const PngSettings& settings, std::error_code& reason);
