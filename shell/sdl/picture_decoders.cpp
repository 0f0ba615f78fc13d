#include "picture_decoders.h"

#include <png.h>
// jpeglib.h needs size_t and FILE declared first.
#include <cstddef>
#include <cstdio>
#include <csetjmp>
#include <jerror.h>
#include <jpeglib.h>

namespace {

// Both libraries report errors by calling back; we jump out of the decoder
// from there. Nothing with a destructor may live between setjmp and the
// jump, hence the plain pointers below.

// ---- PNG ----

void PngError(png_structp png, png_const_charp) {
  std::longjmp(*static_cast<std::jmp_buf*>(png_get_error_ptr(png)), 1);
}

void PngWarning(png_structp, png_const_charp) {}

// Through SDL's allocator, like every other decoder's memory, so that one
// hook sees it all.
// A block it cannot have ends the decoding as out of memory, not as a
// broken file.
png_voidp PngAllocate(png_structp png, png_alloc_size_t size) {
  png_voidp block = SDL_malloc(size);
  if (block == nullptr) *static_cast<bool*>(png_get_mem_ptr(png)) = true;
  return block;
}
void PngRelease(png_structp, png_voidp block) { SDL_free(block); }

void PngRead(png_structp png, png_bytep bytes, png_size_t size) {
  if (SDL_RWread(static_cast<SDL_RWops*>(png_get_io_ptr(png)), bytes, 1, size) != size) {
    png_error(png, "cut short");
  }
}

// Chunks that can only change colours by transparency, gamma or profiles,
// or carry text: none of them is shown, and skipping them spares inflating
// compressed text.
constexpr png_byte kIgnoredChunks[] =
    "tRNS\0bKGD\0cHRM\0gAMA\0iCCP\0sBIT\0sRGB\0hIST\0sPLT\0tEXt\0zTXt\0iTXt\0"
    "tIME\0pHYs\0oFFs\0pCAL\0sCAL\0eXIf";

struct PngDecoding {
  bool outOfMemory = false;
  png_structp png = nullptr;
  png_infop info = nullptr;
  SDL_Surface* surface = nullptr;
  png_bytepp rows = nullptr;
};

bool RunPngDecoding(PngDecoding* d, SDL_RWops* file, LoadResult* failure) {
  std::jmp_buf jump;
  if (setjmp(jump) != 0) {
    if (d->outOfMemory) *failure = LoadResult::OutOfMemory;
    return false;
  }
  d->png = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, &jump, PngError, PngWarning,
                                    &d->outOfMemory, PngAllocate, PngRelease);
  if (d->png == nullptr || (d->info = png_create_info_struct(d->png)) == nullptr) {
    *failure = LoadResult::OutOfMemory;
    return false;
  }
  png_set_read_fn(d->png, file, PngRead);
  png_set_keep_unknown_chunks(d->png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                              static_cast<int>(sizeof kIgnoredChunks / 5));
  png_read_info(d->png, d->info);
  const png_uint_32 width = png_get_image_width(d->png, d->info);
  const png_uint_32 height = png_get_image_height(d->png, d->info);
  const int colourType = png_get_color_type(d->png, d->info);
  // Packed B, G, R of 8 bits: 16-bit channels keep their high byte. A
  // palette picture's indices come one a byte and are looked up below.
  const bool palette = colourType == PNG_COLOR_TYPE_PALETTE;
  png_colorp colours = nullptr;
  int colourCount = 0;
  if (palette && png_get_PLTE(d->png, d->info, &colours, &colourCount) == 0) return false;
  png_set_packing(d->png);
  png_set_strip_16(d->png);
  png_set_strip_alpha(d->png);
  // Only for grey: on a palette picture they would look the colours up.
  if (!palette) {
    png_set_expand_gray_1_2_4_to_8(d->png);
    png_set_gray_to_rgb(d->png);
  }
  png_set_bgr(d->png);
  png_set_interlace_handling(d->png);
  png_read_update_info(d->png, d->info);
  if (png_get_rowbytes(d->png, d->info) != png_size_t{width} * (palette ? 1 : 3) ||
      width > 0x7FFFFFFF || height > 0x7FFFFFFF) {
    return false;
  }
  d->surface = SDL_CreateRGBSurfaceWithFormat(0, static_cast<int>(width), static_cast<int>(height),
                                              24, SDL_PIXELFORMAT_BGR24);
  d->rows = static_cast<png_bytepp>(SDL_malloc(sizeof(png_bytep) * height));
  if (d->surface == nullptr || d->rows == nullptr) {
    *failure = LoadResult::OutOfMemory;
    return false;
  }
  for (png_uint_32 row = 0; row < height; ++row) {
    d->rows[row] = static_cast<png_bytep>(d->surface->pixels) +
                   std::size_t{row} * static_cast<std::size_t>(d->surface->pitch);
  }
  png_read_image(d->png, d->rows);
  // An index past the palette has no colour: the platforms would each make
  // up a different one. Looked up from the right, so that each index is
  // read before its row's colours cover it.
  for (png_uint_32 row = 0; palette && row < height; ++row) {
    for (png_uint_32 column = width; column-- > 0;) {
      const png_byte index = d->rows[row][column];
      if (index >= colourCount) return false;
      png_bytep pixel = d->rows[row] + std::size_t{column} * 3;
      pixel[0] = colours[index].blue;
      pixel[1] = colours[index].green;
      pixel[2] = colours[index].red;
    }
  }
  png_read_end(d->png, nullptr);
  return true;
}

// ---- JPEG ----

struct JpegErrors {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  bool madeUpPixels;
};

void JpegError(j_common_ptr jpeg) {
  // Out of memory says so by the jump's value.
  auto* errors = reinterpret_cast<JpegErrors*>(jpeg->err);
  std::longjmp(errors->jump, errors->manager.msg_code == JERR_OUT_OF_MEMORY ? 2 : 1);
}

// Warnings are kept quiet; those that mean the decoder filled in blocks it
// could not read, or stepped over bytes no block took (corrupt codes), make
// the picture a failure.
void JpegMessage(j_common_ptr jpeg, int level) {
  auto* errors = reinterpret_cast<JpegErrors*>(jpeg->err);
  if (level >= 0) return;
  const int code = errors->manager.msg_code;
  if (code == JWRN_HIT_MARKER || code == JWRN_JPEG_EOF || code == JWRN_MUST_RESYNC ||
      code == JWRN_HUFF_BAD_CODE || code == JWRN_EXTRANEOUS_DATA) {
    errors->madeUpPixels = true;
  }
}

struct JpegSource {
  jpeg_source_mgr manager;
  SDL_RWops* file;
  JOCTET buffer[1 << 14];
};

void JpegStart(j_decompress_ptr) {}
void JpegEnd(j_decompress_ptr) {}

boolean JpegFill(j_decompress_ptr jpeg) {
  auto* source = reinterpret_cast<JpegSource*>(jpeg->src);
  const std::size_t got = SDL_RWread(source->file, source->buffer, 1, sizeof source->buffer);
  if (got == 0) {
    // The decoder warns, then reads an end-of-image marker.
    WARNMS(jpeg, JWRN_JPEG_EOF);
    static const JOCTET kEnd[2] = {0xFF, JPEG_EOI};
    source->manager.next_input_byte = kEnd;
    source->manager.bytes_in_buffer = 2;
    return TRUE;
  }
  source->manager.next_input_byte = source->buffer;
  source->manager.bytes_in_buffer = got;
  return TRUE;
}

void JpegSkip(j_decompress_ptr jpeg, long count) {
  auto* source = reinterpret_cast<JpegSource*>(jpeg->src);
  while (count > static_cast<long>(source->manager.bytes_in_buffer)) {
    count -= static_cast<long>(source->manager.bytes_in_buffer);
    JpegFill(jpeg);
  }
  if (count > 0) {
    source->manager.next_input_byte += count;
    source->manager.bytes_in_buffer -= static_cast<std::size_t>(count);
  }
}

struct JpegDecoding {
  jpeg_decompress_struct jpeg{};
  JpegErrors errors{};
  JpegSource* source = nullptr;
  bool created = false;
  SDL_Surface* surface = nullptr;
};

bool RunJpegDecoding(JpegDecoding* d, SDL_RWops* file, LoadResult* failure) {
  d->jpeg.err = jpeg_std_error(&d->errors.manager);
  d->errors.manager.error_exit = JpegError;
  d->errors.manager.emit_message = JpegMessage;
  switch (setjmp(d->errors.jump)) {
    case 0: break;
    case 2: *failure = LoadResult::OutOfMemory; return false;
    default: return false;
  }
  jpeg_create_decompress(&d->jpeg);
  d->created = true;
  d->source = static_cast<JpegSource*>(SDL_malloc(sizeof(JpegSource)));
  if (d->source == nullptr) {
    *failure = LoadResult::OutOfMemory;
    return false;
  }
  d->source->file = file;
  d->source->manager.init_source = JpegStart;
  d->source->manager.fill_input_buffer = JpegFill;
  d->source->manager.skip_input_data = JpegSkip;
  d->source->manager.resync_to_restart = jpeg_resync_to_restart;
  d->source->manager.term_source = JpegEnd;
  d->source->manager.bytes_in_buffer = 0;
  d->source->manager.next_input_byte = nullptr;
  d->jpeg.src = &d->source->manager;
  jpeg_read_header(&d->jpeg, TRUE);
  d->jpeg.out_color_space = JCS_EXT_BGR;
  jpeg_start_decompress(&d->jpeg);
  if (d->jpeg.output_components != 3) return false;
  d->surface = SDL_CreateRGBSurfaceWithFormat(0, static_cast<int>(d->jpeg.output_width),
                                              static_cast<int>(d->jpeg.output_height), 24,
                                              SDL_PIXELFORMAT_BGR24);
  if (d->surface == nullptr) {
    *failure = LoadResult::OutOfMemory;
    return false;
  }
  while (d->jpeg.output_scanline < d->jpeg.output_height) {
    JSAMPROW row = static_cast<JSAMPLE*>(d->surface->pixels) +
                   std::size_t{d->jpeg.output_scanline} * static_cast<std::size_t>(d->surface->pitch);
    jpeg_read_scanlines(&d->jpeg, &row, 1);
  }
  jpeg_finish_decompress(&d->jpeg);
  return !d->errors.madeUpPixels;
}

}  // namespace

SDL_Surface* DecodePng(SDL_RWops* file, LoadResult* failure) {
  *failure = LoadResult::NotFound;
  PngDecoding decoding;
  const bool decoded = RunPngDecoding(&decoding, file, failure);
  SDL_free(decoding.rows);
  if (decoding.png != nullptr) {
    png_destroy_read_struct(&decoding.png, decoding.info != nullptr ? &decoding.info : nullptr, nullptr);
  }
  if (decoded) return decoding.surface;
  SDL_FreeSurface(decoding.surface);
  return nullptr;
}

SDL_Surface* DecodeJpeg(SDL_RWops* file, LoadResult* failure) {
  *failure = LoadResult::NotFound;
  JpegDecoding decoding;
  const bool decoded = RunJpegDecoding(&decoding, file, failure);
  if (decoding.created) jpeg_destroy_decompress(&decoding.jpeg);
  SDL_free(decoding.source);
  if (decoded) return decoding.surface;
  SDL_FreeSurface(decoding.surface);
  return nullptr;
}
