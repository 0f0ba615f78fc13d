// Reading the picture with the system's bitmap loader.

#include <cstdint>
#include <memory>
#include <new>

#include "bmp_file.h"
#include "source_image.h"
#include "win32_backend.h"

namespace {

// Room for the header and any colour table or colour masks that the system
// may add to it.
struct BitmapHeader {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

// Asks the system for the picture's header, then for its pixel rows, and
// fills `source` from them.
LoadResult ReadBitmap(HDC context, HBITMAP bitmap) {
  BitmapHeader query{};
  query.header.biSize = sizeof(BITMAPINFOHEADER);
  if (GetDIBits(context, bitmap, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&query),
                DIB_RGB_COLORS) == 0) {
    return LoadResult::NotFound;
  }
  const std::int64_t width = query.header.biWidth;
  // Whatever the bitmap's own row order, the rows are asked for bottom row
  // first below.
  const std::int64_t height =
      query.header.biHeight < 0 ? -std::int64_t{query.header.biHeight} : query.header.biHeight;
  const unsigned bitsPerPixel = query.header.biBitCount;
  const LoadResult checked = CheckPicture(width, height, bitsPerPixel);
  if (checked != LoadResult::Loaded) return checked;

  // Plain rows of 3- or 4-byte pixels, blue first, bottom row first, each
  // padded to a multiple of 4 bytes; colour masks are resolved by the system.
  BitmapHeader wanted{};
  wanted.header.biSize = sizeof(BITMAPINFOHEADER);
  wanted.header.biWidth = static_cast<LONG>(width);
  wanted.header.biHeight = static_cast<LONG>(height);
  wanted.header.biPlanes = 1;
  wanted.header.biBitCount = bitsPerPixel > 24 ? WORD{32} : WORD{24};
  wanted.header.biCompression = BI_RGB;
  const unsigned bytesPerPixel = wanted.header.biBitCount / 8u;
  const auto rowBytes = static_cast<std::size_t>((width * bytesPerPixel + 3) & ~std::int64_t{3});
  const std::unique_ptr<std::uint8_t[]> rows(
      new (std::nothrow) std::uint8_t[rowBytes * static_cast<std::size_t>(height)]);
  if (rows == nullptr) return LoadResult::OutOfMemory;
  const int copied = GetDIBits(context, bitmap, 0, static_cast<UINT>(height), rows.get(),
                               reinterpret_cast<BITMAPINFO*>(&wanted), DIB_RGB_COLORS);
  if (copied != height) return LoadResult::NotFound;

  PictureRows delivered{};
  delivered.width = width;
  delivered.height = height;
  delivered.bitsPerPixel = bitsPerPixel;
  delivered.bytesPerPixel = bytesPerPixel;
  delivered.bottomRow = rows.get();
  delivered.rowStep = static_cast<std::ptrdiff_t>(rowBytes);
  return FillSource(delivered);
}

}  // namespace

LoadResult LoadSourceImage(HINSTANCE instance, const char* fileName) {
  // A picture that is refused anyway, or whose header promises more than the
  // file holds or memory can take, never reaches the loader, which would
  // allocate the whole promised picture.
  BmpHeader header{};
  const LoadResult verdict = CheckBmpFile(fileName, &header);
  if (verdict != LoadResult::Loaded) return verdict;
  // Stored top row first: the loader of some systems makes a black picture
  // of it, so it is refused rather than shown wrong.
  if (header.topDown) return LoadResult::Unsupported;
  // Nor can it read the 52- and 56-byte headers: a format it does not read,
  // not a missing picture.
  if (header.infoSize == 52 || header.infoSize == 56) return LoadResult::Unsupported;
  // Kept in the file's own format, never converted to the screen's.
  auto* const bitmap = static_cast<HBITMAP>(
      LoadImageA(instance, fileName, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (bitmap == nullptr) return LoadResult::NotFound;
  HDC context = CreateCompatibleDC(nullptr);
  LoadResult result = LoadResult::OutOfMemory;
  if (context != nullptr) {
    HGDIOBJ previous = SelectObject(context, bitmap);
    result = ReadBitmap(context, bitmap);
    // The bitmap leaves the context before either is released.
    SelectObject(context, previous);
    DeleteDC(context);
  }
  DeleteObject(bitmap);
  return result;
}
