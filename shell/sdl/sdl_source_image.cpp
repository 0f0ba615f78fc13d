// Reading the picture with SDL's BMP reader.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "bmp_file.h"
#include "sdl_backend.h"
#include "source_image.h"

namespace {

LoadResult FillFromSurface(SDL_Surface* surface, unsigned fileBitsPerPixel, std::int64_t minSide) {
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
  return FillSource(rows, minSide);
}

bool IsBlueGreenRedInMemory(Uint32 format) {
  if (format == SDL_PIXELFORMAT_BGR24) return true;
  return SDL_BYTEORDER == SDL_LIL_ENDIAN &&
         (format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_XRGB8888);
}

// Reads the header first: a picture that is refused anyway, or whose header
// promises more pixel data than the file holds, or more memory than the
// machine has, is never handed to the reader, which would allocate the whole
// promised picture. Closes the file.
LoadResult LoadFrom(SDL_RWops* file, std::int64_t minSide) {
  std::uint8_t start[kBmpHeaderBytes] = {};
  const std::size_t got = SDL_RWread(file, start, 1, sizeof start);
  const Sint64 fileSize = SDL_RWsize(file);
  BmpHeader header{};
  const LoadResult verdict =
      fileSize < 0 ? LoadResult::NotFound
                   : CheckBeforeDecoding(start, got, static_cast<std::uint64_t>(fileSize), &header,
                                         minSide);
  if (verdict != LoadResult::Loaded || SDL_RWseek(file, 0, RW_SEEK_SET) != 0) {
    SDL_RWclose(file);
    return verdict == LoadResult::Loaded ? LoadResult::NotFound : verdict;
  }
  // Byte-sized colour masks in an order SDL has no pixel format for.
  if (header.compression == 3 &&
      SDL_MasksToPixelFormatEnum(32, header.masks[0], header.masks[1], header.masks[2],
                                 header.masks[3]) == SDL_PIXELFORMAT_UNKNOWN) {
    SDL_RWclose(file);
    return LoadResult::Unsupported;
  }
  SDL_Surface* surface = SDL_LoadBMP_RW(file, 1);
  if (surface == nullptr) return LoadResult::NotFound;

  LoadResult result = LoadResult::Loaded;
  if (surface->w != header.width || surface->h != header.height) {
    result = LoadResult::NotFound;
  } else if (IsBlueGreenRedInMemory(surface->format->format)) {
    result = FillFromSurface(surface, header.bitsPerPixel, minSide);
  } else {
    // Other channel layouts (bit fields) are converted, not guessed at.
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_BGR24, 0);
    result = converted == nullptr ? LoadResult::OutOfMemory
                                  : FillFromSurface(converted, header.bitsPerPixel, minSide);
    SDL_FreeSurface(converted);
  }
  SDL_FreeSurface(surface);
  return result;
}

}  // namespace

LoadResult LoadSourceImage(const char* fileName) {
  // Only a regular file: opening a pipe would block, a device never ends.
  std::error_code error;
  if (!std::filesystem::is_regular_file(fileName, error)) return LoadResult::NotFound;
  SDL_RWops* file = SDL_RWFromFile(fileName, "rb");
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
