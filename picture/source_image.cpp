#include "source_image.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "scene_state.h"

LoadResult CheckPicture(std::int64_t width, std::int64_t height, unsigned bitsPerPixel,
                        std::int64_t minSide) {
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

LoadResult FillSource(const PictureRows& picture, std::int64_t minSide) {
  const LoadResult verdict =
      CheckPicture(picture.width, picture.height, picture.bitsPerPixel, minSide);
  if (verdict != LoadResult::Loaded) return verdict;
  if (picture.bytesPerPixel < 3) return LoadResult::Unsupported;

  scene.width = static_cast<std::uint16_t>(picture.width);
  scene.height = static_cast<std::uint16_t>(picture.height);
  const std::size_t rowBytes = std::size_t{scene.width} * 3;
  std::uint8_t* source = new (std::nothrow) std::uint8_t[rowBytes * scene.height];
  if (source == nullptr) return LoadResult::OutOfMemory;

  // Row by row, so that padding at the end of an input row is never copied.
  std::uint8_t* out = source;
  const std::uint8_t* row = picture.bottomRow;
  for (std::uint32_t r = 0; r < scene.height; ++r, row += picture.rowStep) {
    if (picture.bytesPerPixel == 3) {
      std::memcpy(out, row, rowBytes);
      out += rowBytes;
      continue;
    }
    const std::uint8_t* in = row;
    for (std::uint32_t c = 0; c < scene.width; ++c, in += picture.bytesPerPixel, out += 3) {
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
    }
  }
  scene.source = source;
  return LoadResult::Loaded;
}
