// Reading the picture: BMP with the system's bitmap loader, PNG and JPEG
// with the Windows Imaging Component.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>

#include "picture_file.h"
#include "source_image.h"
#include "win32_backend.h"
#include "win32_imaging.h"

namespace fs = std::filesystem;

namespace {

// Whether this thread started COM and so must stop it.
bool comStarted = false;

// Room for the header and any colour table or colour masks that the system
// may add to it.
struct BitmapHeader {
  BITMAPINFOHEADER header;
  RGBQUAD colours[256];
};

// Asks the system for the picture's header, then for its pixel rows, and
// fills `source` from them. The bitmap must not be selected into `context`.
LoadResult ReadBitmap(HDC context, HBITMAP bitmap, const PictureHeader& expected) {
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
  if (width != expected.width || height != expected.height) return LoadResult::NotFound;
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

LoadResult LoadBitmap(const fs::path& file, const PictureHeader& header) {
  // Stored top row first: the loader of some systems makes a black picture
  // of it, so it is refused rather than shown wrong.
  if (header.bmp.topDown) return LoadResult::Unsupported;
  // Nor can it read the 52- and 56-byte headers: a format it does not read,
  // not a missing picture.
  if (header.bmp.infoSize == 52 || header.bmp.infoSize == 56) return LoadResult::Unsupported;
  // Kept in the file's own format, never converted to the screen's.
  auto* const bitmap = static_cast<HBITMAP>(
      LoadImageW(nullptr, file.c_str(), IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION));
  if (bitmap == nullptr) return LoadResult::NotFound;
  HDC context = CreateCompatibleDC(nullptr);
  const LoadResult result =
      context == nullptr ? LoadResult::NotFound : ReadBitmap(context, bitmap, header);
  if (context != nullptr) DeleteDC(context);
  DeleteObject(bitmap);
  return result;
}

// Whether every pixel of a palette picture has a colour: an index past the
// palette would be shown in whatever colour each platform makes up, so the
// picture is refused on every platform. True for pictures without a palette.
bool IndicesWithinPalette(IWICImagingFactory* factory, IWICBitmapFrameDecode* frame, UINT width,
                          UINT height) {
  WICPixelFormatGUID format{};
  if (FAILED(frame->GetPixelFormat(&format))) return false;
  const struct {
    const GUID* format;
    unsigned bits;
  } kIndexed[] = {{&GUID_WICPixelFormat1bppIndexed, 1}, {&GUID_WICPixelFormat2bppIndexed, 2},
                  {&GUID_WICPixelFormat4bppIndexed, 4}, {&GUID_WICPixelFormat8bppIndexed, 8}};
  unsigned bits = 0;
  for (const auto& indexed : kIndexed) {
    if (IsEqualGUID(format, *indexed.format)) bits = indexed.bits;
  }
  if (bits == 0) return true;
  ComPtr<IWICPalette> palette;
  UINT colours = 0;
  if (FAILED(factory->CreatePalette(&palette)) || FAILED(frame->CopyPalette(palette.Get())) ||
      FAILED(palette->GetColorCount(&colours))) {
    return false;
  }
  if (colours >= (1u << bits)) return true;
  const UINT rowBytes = (width * bits + 7) / 8;
  const std::unique_ptr<BYTE[]> row(new (std::nothrow) BYTE[rowBytes]);
  if (row == nullptr) return false;
  for (UINT y = 0; y < height; ++y) {
    const WICRect line{0, static_cast<INT>(y), static_cast<INT>(width), 1};
    if (FAILED(frame->CopyPixels(&line, rowBytes, rowBytes, row.get()))) return false;
    for (UINT x = 0; x < width; ++x) {
      // Packed from the high bits down.
      const unsigned shift = 8 - bits - x * bits % 8;
      if ((row[x * bits / 8] >> shift & ((1u << bits) - 1)) >= colours) return false;
    }
  }
  return true;
}

// Decodes with the imaging component into 4-byte pixels, blue first, which
// every PNG and JPEG converts to (straight to 3 bytes fails for some PNGs
// under Wine), then drops the fourth byte.
LoadResult DecodeWithImaging(const fs::path& file, const PictureHeader& header) {
  const ComPtr<IWICImagingFactory> factory = ImagingFactory();
  ComPtr<IWICBitmapDecoder> decoder;
  ComPtr<IWICBitmapFrameDecode> frame;
  ComPtr<IWICFormatConverter> converter;
  UINT width = 0, height = 0;
  if (factory == nullptr ||
      FAILED(factory->CreateDecoderFromFilename(file.c_str(), nullptr, GENERIC_READ,
                                                WICDecodeMetadataCacheOnDemand, &decoder)) ||
      FAILED(decoder->GetFrame(0, &frame)) || FAILED(frame->GetSize(&width, &height)) ||
      width != header.width || height != header.height ||
      !IndicesWithinPalette(factory.Get(), frame.Get(), width, height) ||
      FAILED(factory->CreateFormatConverter(&converter)) ||
      FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                   WICBitmapDitherTypeNone, nullptr, 0.0,
                                   WICBitmapPaletteTypeCustom))) {
    return LoadResult::NotFound;
  }
  const std::size_t rowBytes = std::size_t{width} * 4;
  const std::unique_ptr<std::uint8_t[]> rows(new (std::nothrow) std::uint8_t[rowBytes * height]);
  if (rows == nullptr) return LoadResult::OutOfMemory;
  // In bands: a copy's size is a 32-bit count, and the largest picture's
  // rows take 4 GiB.
  const UINT bandRows = static_cast<UINT>(std::max<std::size_t>(1, (std::size_t{1} << 28) / rowBytes));
  for (UINT top = 0; top < height; top += bandRows) {
    const UINT count = std::min(bandRows, height - top);
    const WICRect band{0, static_cast<INT>(top), static_cast<INT>(width), static_cast<INT>(count)};
    if (FAILED(converter->CopyPixels(&band, static_cast<UINT>(rowBytes),
                                     static_cast<UINT>(rowBytes * count), rows.get() + rowBytes * top))) {
      return LoadResult::NotFound;
    }
  }
  // The component hands rows top row first.
  PictureRows delivered{};
  delivered.width = width;
  delivered.height = height;
  delivered.bitsPerPixel = 32;
  delivered.bytesPerPixel = 4;
  delivered.bottomRow = rows.get() + rowBytes * (height - 1);
  delivered.rowStep = -static_cast<std::ptrdiff_t>(rowBytes);
  // The component hands the pixels as stored, whatever the EXIF
  // orientation: they are turned while copied, as on every platform.
  delivered.orientation = header.orientation;
  delivered.profile = &header.profile;
  return FillSource(delivered);
}

}  // namespace

ComPtr<IWICImagingFactory> ImagingFactory() {
  if (!comStarted) {
    const HRESULT started = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    // Started before in the other threading model: usable, but not ours to stop.
    if (FAILED(started) && started != RPC_E_CHANGED_MODE) return nullptr;
    comStarted = SUCCEEDED(started);
  }
  ComPtr<IWICImagingFactory> factory;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&factory)))) {
    return nullptr;
  }
  return factory;
}

void StopImaging() {
  if (comStarted) CoUninitialize();
  comStarted = false;
}

LoadResult LoadSourceImage(const fs::path& file) {
  // A picture that is refused anyway, or whose header promises more than the
  // file holds or memory can take, never reaches a decoder, which would
  // allocate the whole promised picture.
  PictureHeader header{};
  const LoadResult verdict = CheckPictureFile(file, &header);
  if (verdict != LoadResult::Loaded) return verdict;
  return header.format == PictureFormat::Bmp ? LoadBitmap(file, header)
                                             : DecodeWithImaging(file, header);
}
