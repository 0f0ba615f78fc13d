// Reading the picture with SDL's BMP reader and our libpng and libjpeg
// decoders.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "picture_decoders.h"
#include "picture_file.h"
#include "sdl_backend.h"
#include "source_image.h"

namespace {

LoadResult FillFromSurface(SDL_Surface* surface, unsigned fileBitsPerPixel, const PictureHeader& header,
                           std::int64_t minSide) {
  // SDL hands rows top row first, each padded to its pitch.
  const auto pitch = static_cast<std::ptrdiff_t>(surface->pitch);
  const auto* top = static_cast<const std::uint8_t*>(surface->pixels);
  PictureRows rows{};
  rows.width = surface->w;
  rows.height = surface->h;
  rows.bitsPerPixel = fileBitsPerPixel;
  rows.bytesPerPixel = surface->format->BytesPerPixel;
  rows.bottomRow = top + (std::ptrdiff_t{surface->h} - 1) * pitch;
  rows.rowStep = -pitch;
  // Neither libjpeg nor libpng turns a picture by its EXIF orientation.
  rows.orientation = header.orientation;
  rows.profile = &header.profile;
  return FillSource(rows, minSide);
}

bool IsBlueGreenRedInMemory(Uint32 format) {
  if (format == SDL_PIXELFORMAT_BGR24) return true;
  return SDL_BYTEORDER == SDL_LIL_ENDIAN &&
         (format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_XRGB8888);
}

// Checks what the file's first bytes say first: a picture that is refused
// anyway, or whose header promises more pixel data than the file holds, or
// more memory than the machine has, is never handed to a decoder, which
// would allocate the whole promised picture. Closes the file.
LoadResult LoadFrom(SDL_RWops* file, std::int64_t minSide) {
  const Sint64 fileSize = SDL_RWsize(file);
  const ReadAt read = [file](std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
    if (offset > INT64_MAX || SDL_RWseek(file, static_cast<Sint64>(offset), RW_SEEK_SET) < 0) {
      return std::size_t{0};
    }
    return SDL_RWread(file, buffer, 1, size);
  };
  PictureHeader header{};
  const LoadResult verdict =
      fileSize < 0 ? LoadResult::NotFound
                   : CheckBeforeDecoding(read, static_cast<std::uint64_t>(fileSize), &header, minSide);
  if (verdict != LoadResult::Loaded || SDL_RWseek(file, 0, RW_SEEK_SET) != 0) {
    SDL_RWclose(file);
    return verdict == LoadResult::Loaded ? LoadResult::NotFound : verdict;
  }
  const BmpHeader& bmp = header.bmp;
  // Byte-sized colour masks in an order SDL has no pixel format for.
  if (header.format == PictureFormat::Bmp && bmp.compression == 3 &&
      SDL_MasksToPixelFormatEnum(32, bmp.masks[0], bmp.masks[1], bmp.masks[2], bmp.masks[3]) ==
          SDL_PIXELFORMAT_UNKNOWN) {
    SDL_RWclose(file);
    return LoadResult::Unsupported;
  }
  SDL_Surface* surface = nullptr;
  unsigned fileBitsPerPixel = 24;
  LoadResult failure = LoadResult::NotFound;
  switch (header.format) {
    case PictureFormat::Bmp:
      surface = SDL_LoadBMP_RW(file, 0);
      fileBitsPerPixel = bmp.bitsPerPixel;
      break;
    case PictureFormat::Png:
      surface = DecodePng(file, &failure);
      break;
    default:
      surface = DecodeJpeg(file, &failure);
      break;
  }
  SDL_RWclose(file);
  if (surface == nullptr) return failure;

  LoadResult result = LoadResult::Loaded;
  if (surface->w != header.width || surface->h != header.height) {
    result = LoadResult::NotFound;
  } else if (IsBlueGreenRedInMemory(surface->format->format)) {
    result = FillFromSurface(surface, fileBitsPerPixel, header, minSide);
  } else {
    // Other layouts (bit fields, RGB order, palettes, grey) are converted,
    // not guessed at; alpha is dropped.
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_BGR24, 0);
    result = converted == nullptr ? LoadResult::OutOfMemory
                                  : FillFromSurface(converted, fileBitsPerPixel, header, minSide);
    SDL_FreeSurface(converted);
  }
  SDL_FreeSurface(surface);
  return result;
}

}  // namespace

LoadResult LoadSourceImage(const std::filesystem::path& fileName) {
  // Only a regular file: opening a pipe would block, a device never ends.
  std::error_code error;
  if (!std::filesystem::is_regular_file(fileName, error)) return LoadResult::NotFound;
  SDL_RWops* file = SDL_RWFromFile(fileName.c_str(), "rb");
  if (file == nullptr) return LoadResult::NotFound;
  return LoadFrom(file, kMinPictureSide);
}

LoadResult LoadSourceImageFromBytes(const std::uint8_t* bytes, std::size_t size,
                                    std::int64_t minSide) {
  if (size > INT_MAX) return LoadResult::NotFound;
  SDL_RWops* file = SDL_RWFromConstMem(bytes, static_cast<int>(size));
  if (file == nullptr) return LoadResult::NotFound;
  return LoadFrom(file, minSide);
}
