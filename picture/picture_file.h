#pragma once

// What a picture file is and whether it may be decoded, told from its first
// bytes and its size alone, the same for every platform's decoder: a lying
// header must not make a decoder allocate more than the file could fill.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>

#include "bmp_file.h"
#include "picture_details.h"
#include "source_image.h"
#include "startup_messages.h"

enum class PictureFormat { Unknown, Bmp, Png, Jpeg };

// The format the first bytes of a file announce, whatever its name.
PictureFormat FormatOf(const std::uint8_t* start, std::size_t size);

struct PictureHeader {
  PictureFormat format;
  std::int64_t width;
  std::int64_t height;
  BmpHeader bmp;  // BMP files only
  // PNG and JPEG files only: how the decoded rows are to be turned, and
  // the colour profile.
  Orientation orientation = kAsStored;
  ColourProfile profile;
};

// Reads up to `size` bytes at `offset` of the file; how many it read.
using ReadAt = std::function<std::size_t(std::uint64_t offset, std::uint8_t* buffer, std::size_t size)>;

// Everything that can be known before decoding, in the order the user
// learns of it: the format (UnknownFormat for bytes of no format we read),
// a header that makes sense, the sides, an encoding we decode exactly, a
// file long enough for the pixels its header promises, and the memory the
// picture will need while it is shown. Reads the orientation and the
// colour profile on the way.
LoadResult CheckBeforeDecoding(const ReadAt& read, std::uint64_t fileSize, PictureHeader* header,
                               std::int64_t minSide = kMinPictureSide);

// The same for a file by path. Anything but a regular file (a folder, a
// device, a pipe that would block the reader) is not found.
LoadResult CheckPictureFile(const std::filesystem::path& file, PictureHeader* header,
                            std::int64_t minSide = kMinPictureSide);
