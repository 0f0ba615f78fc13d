// Reading the picture with SDL's BMP reader.

#include <cstddef>
#include <cstdint>

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "bmp_file.h"
#include "sdl_backend.h"
#include "source_image.h"

namespace {

// Reads the header first: a picture that is refused anyway, or whose header
// promises more pixel data than the file holds, is never handed to the
// reader, which would allocate the whole promised picture.
LoadResult CheckHeader(SDL_RWops* file, BmpHeader* header) {
  std::uint8_t bytes[kBmpHeaderBytes] = {};
  const std::size_t got = SDL_RWread(file, bytes, 1, sizeof bytes);
  if (!ParseBmpHeader(bytes, got, header)) return LoadResult::NotFound;
  const LoadResult verdict = CheckPicture(header->width, header->height, header->bitsPerPixel);
  if (verdict != LoadResult::Loaded) return verdict;
  const std::uint64_t needed = UncompressedDataSize(*header);
  const Sint64 fileSize = SDL_RWsize(file);
  if (needed == 0 || fileSize < 0 ||
      std::uint64_t{header->dataOffset} + needed > static_cast<std::uint64_t>(fileSize)) {
    return LoadResult::NotFound;
  }
  return LoadResult::Loaded;
}

LoadResult FillFromSurface(SDL_Surface* surface, unsigned fileBitsPerPixel) {
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
  return FillSource(rows);
}

bool IsBlueGreenRedInMemory(Uint32 format) {
  if (format == SDL_PIXELFORMAT_BGR24) return true;
  return SDL_BYTEORDER == SDL_LIL_ENDIAN &&
         (format == SDL_PIXELFORMAT_ARGB8888 || format == SDL_PIXELFORMAT_XRGB8888);
}

}  // namespace

LoadResult LoadSourceImage(const char* fileName) {
  SDL_RWops* file = SDL_RWFromFile(fileName, "rb");
  if (file == nullptr) return LoadResult::NotFound;
  BmpHeader header{};
  const LoadResult verdict = CheckHeader(file, &header);
  if (verdict != LoadResult::Loaded || SDL_RWseek(file, 0, RW_SEEK_SET) != 0) {
    SDL_RWclose(file);
    return verdict == LoadResult::Loaded ? LoadResult::NotFound : verdict;
  }
  SDL_Surface* surface = SDL_LoadBMP_RW(file, 1);
  if (surface == nullptr) return LoadResult::NotFound;

  LoadResult result = LoadResult::Loaded;
  if (IsBlueGreenRedInMemory(surface->format->format)) {
    result = FillFromSurface(surface, header.bitsPerPixel);
  } else {
    // Other channel layouts (bit fields) are converted, not guessed at.
    SDL_Surface* converted = SDL_ConvertSurfaceFormat(surface, SDL_PIXELFORMAT_BGR24, 0);
    result = converted == nullptr ? LoadResult::OutOfMemory
                                  : FillFromSurface(converted, header.bitsPerPixel);
    SDL_FreeSurface(converted);
  }
  SDL_FreeSurface(surface);
  return result;
}
