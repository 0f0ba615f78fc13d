// Writing PNG files with SDL_image's encoder.

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstring>

#define SDL_MAIN_HANDLED
#include <SDL.h>
#include <SDL_image.h>

#include "frame_file.h"
#include "sdl_backend.h"

bool WritePng(const std::filesystem::path& file, std::uint32_t width, std::uint32_t height,
              const std::uint8_t* bgrRows, std::error_code& reason) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    reason = std::make_error_code(std::errc::invalid_argument);
    return false;
  }
  SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormat(
      0, static_cast<int>(width), static_cast<int>(height), 24, SDL_PIXELFORMAT_BGR24);
  if (surface == nullptr) {
    reason = std::make_error_code(std::errc::not_enough_memory);
    return false;
  }
  // The surface's rows run top row first.
  const std::size_t rowBytes = std::size_t{width} * 3;
  auto* target = static_cast<std::uint8_t*>(surface->pixels);
  for (std::size_t row = 0; row < height; ++row) {
    std::memcpy(target + row * static_cast<std::size_t>(surface->pitch),
                bgrRows + (height - 1 - row) * rowBytes, rowBytes);
  }
  // Through our own stream: the encoder reports success even when its
  // writes fail (a full disk), but the stream keeps the error, and fclose
  // reports a failed final flush. The errno of the write that failed is
  // the reason; nothing after it in the encoder sets errno.
  errno = 0;
  std::FILE* stream = std::fopen(file.c_str(), "wb");
  SDL_RWops* output = stream == nullptr ? nullptr : SDL_RWFromFP(stream, SDL_FALSE);
  bool written = output != nullptr && IMG_SavePNG_RW(surface, output, 1) == 0 && std::ferror(stream) == 0;
  if (!written) reason = ErrnoReason();
  if (stream != nullptr && std::fclose(stream) != 0 && written) {
    reason = ErrnoReason();
    written = false;
  }
  SDL_FreeSurface(surface);
  return written;
}
