#include "source_image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "scene_state.h"

namespace {
CheckedSides lastChecked;
}  // namespace

CheckedSides LastCheckedSides() { return lastChecked; }

LoadResult CheckPicture(std::int64_t width, std::int64_t height, unsigned bitsPerPixel,
                        std::int64_t minSide) {
  lastChecked = {width, height};
  // Never below one pixel: an empty picture cannot be shown.
  if (width < std::max<std::int64_t>(minSide, 1) || height < std::max<std::int64_t>(minSide, 1)) {
    return LoadResult::TooSmall;
  }
  if (width > std::int64_t{kMaxPictureSide} || height > std::int64_t{kMaxPictureSide}) {
    return LoadResult::TooLarge;
  }
  if (bitsPerPixel <= 16) return LoadResult::Unsupported;
  return LoadResult::Loaded;
}

namespace {

// Where the upright picture's pixel (x, y), counted from its top left, lies
// in the stored picture of width x height, counted the same way.
struct Place {
  std::int64_t x, y;
};
Place StoredPlace(Orientation orientation, std::int64_t x, std::int64_t y, std::int64_t width,
                  std::int64_t height) {
  switch (orientation) {
    case kMirrorLeftRight: return {width - 1 - x, y};
    case kTurn180: return {width - 1 - x, height - 1 - y};
    case kMirrorTopBottom: return {x, height - 1 - y};
    case kTranspose: return {y, x};
    case kTurnClockwise: return {y, height - 1 - x};
    case kTransverse: return {width - 1 - y, height - 1 - x};
    case kTurnCounterClockwise: return {width - 1 - y, x};
    default: return {x, y};
  }
}

}  // namespace

LoadResult FillSource(const PictureRows& picture, std::int64_t minSide) {
  SetSourceColourProfile(nullptr);
  const LoadResult verdict =
      CheckPicture(picture.width, picture.height, picture.bitsPerPixel, minSide);
  if (verdict != LoadResult::Loaded) return verdict;
  if (picture.bytesPerPixel < 3) return LoadResult::Unsupported;

  const bool turned = picture.orientation >= kTranspose && picture.orientation <= kTurnCounterClockwise;
  const auto width = static_cast<std::uint32_t>(turned ? picture.height : picture.width);
  const auto height = static_cast<std::uint32_t>(turned ? picture.width : picture.height);
  scene.width = static_cast<std::uint16_t>(width);
  scene.height = static_cast<std::uint16_t>(height);
  const std::size_t rowBytes = std::size_t{width} * 3;
  std::uint8_t* source = new (std::nothrow) std::uint8_t[rowBytes * height];
  if (source == nullptr) return LoadResult::OutOfMemory;

  // The stored pixel under each pixel of the upright picture is an affine
  // walk: from the bottom left one, a step per column and a step per row up.
  const auto offset = [&](std::int64_t x, std::int64_t y) {
    const Place p = StoredPlace(picture.orientation, x, y, picture.width, picture.height);
    return (picture.height - 1 - p.y) * picture.rowStep + p.x * std::int64_t{picture.bytesPerPixel};
  };
  const std::int64_t start = offset(0, height - 1);
  const auto columnStep = static_cast<std::ptrdiff_t>(offset(1, height - 1) - start);
  const auto rowStep = static_cast<std::ptrdiff_t>(offset(0, std::int64_t{height} - 2) - start);
  const std::uint8_t* first = picture.bottomRow + start;

  if (columnStep == 3) {
    // Packed rows, not mirrored: a copy a row, leaving any padding.
    for (std::uint32_t r = 0; r < height; ++r) std::memcpy(source + r * rowBytes, first + r * rowStep, rowBytes);
  } else if (!turned) {
    std::uint8_t* out = source;
    for (std::uint32_t r = 0; r < height; ++r) {
      const std::uint8_t* in = first + r * rowStep;
      for (std::uint32_t c = 0; c < width; ++c, in += columnStep, out += 3) {
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
      }
    }
  } else {
    // Bands of rows, a column at a time within each, so that a turned
    // picture reads its stored rows a cache line at a time, not a pixel.
    constexpr std::uint32_t kBand = 16;
    for (std::uint32_t band = 0; band < height; band += kBand) {
      const std::uint32_t rows = std::min(kBand, height - band);
      for (std::uint32_t c = 0; c < width; ++c) {
        const std::uint8_t* in = first + band * rowStep + c * columnStep;
        std::uint8_t* out = source + band * rowBytes + std::size_t{c} * 3;
        for (std::uint32_t r = 0; r < rows; ++r, in += rowStep, out += rowBytes) {
          out[0] = in[0];
          out[1] = in[1];
          out[2] = in[2];
        }
      }
    }
  }
  scene.source = source;
  SetSourceColourProfile(picture.profile);
  return LoadResult::Loaded;
}
