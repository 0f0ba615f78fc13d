#pragma once

// PNG and JPEG decoding on Linux, straight with libpng and libjpeg: their
// own messages stay off stderr, transparency is ignored however a file
// marks it, and a decoder that had to make up pixels counts as a failure.

#include <SDL.h>

#include "startup_messages.h"

// Each decodes the file from its current position into a new surface of
// packed B, G, R pixels, top row first, or returns null and says why:
// NotFound for a corrupt or cut-short file, OutOfMemory when the surface
// cannot be had. The file stays open.
SDL_Surface* DecodePng(SDL_RWops* file, LoadResult* failure);
SDL_Surface* DecodeJpeg(SDL_RWops* file, LoadResult* failure);
