#pragma once

#include <cstddef>
#include <cstdint>

#include "picture_details.h"
#include "startup_messages.h"

// The smallest side the viewer accepts. Tests and the fuzz target pass a
// smaller one so that small files reach the decoder.
inline constexpr std::int64_t kMinPictureSide = 100;

// The checks a picture must pass, in the order the user learns of them:
// too small before too large before too shallow. Sides are the picture's
// true sizes, before anything is cut to 16 bits.
LoadResult CheckPicture(std::int64_t width, std::int64_t height, unsigned bitsPerPixel,
                        std::int64_t minSide = kMinPictureSide);

// The sides CheckPicture was last given, for telling why a picture was
// refused. Pictures are loaded one at a time, on one thread.
struct CheckedSides {
  std::int64_t width = 0;
  std::int64_t height = 0;
};
CheckedSides LastCheckedSides();

// A decoded picture as a platform's reader hands it over. Each pixel starts
// with blue, green, red; rows may be padded and stored either way up.
struct PictureRows {
  std::int64_t width;
  std::int64_t height;
  unsigned bitsPerPixel;         // of the file, for the depth check
  unsigned bytesPerPixel;        // in memory, 3 or 4
  const std::uint8_t* bottomRow; // first byte of the bottom row
  std::ptrdiff_t rowStep;        // bytes from a row to the one above it
  Orientation orientation = kAsStored;      // how the rows are to be turned
  const ColourProfile* profile = nullptr;   // none when null
};

// Checks the picture, then sets width and height of the scene and fills a
// new `source` with packed rows of the upright picture, bottom row first,
// turning the rows as their orientation says while it copies them; keeps
// the colour profile as the source's. On any failure the scene's `source`
// stays null and there is no profile.
LoadResult FillSource(const PictureRows& picture, std::int64_t minSide = kMinPictureSide);
