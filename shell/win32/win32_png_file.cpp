// Writing PNG files with the Windows Imaging Component's encoder.

#include <cstddef>

#include "win32_backend.h"
#include "win32_imaging.h"

bool WritePng(const std::filesystem::path& file, std::uint32_t width, std::uint32_t height,
              const std::uint8_t* bgrRows) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFF / 3 || height > 0x7FFFFFFF) return false;
  const ComPtr<IWICImagingFactory> factory = ImagingFactory();
  // Released in reverse order: the file is closed before the caller renames it.
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  if (factory == nullptr || FAILED(factory->CreateStream(&stream)) ||
      FAILED(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) ||
      FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
      FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder->CreateNewFrame(&frame, &options)) || FAILED(frame->Initialize(options.Get())) ||
      FAILED(frame->SetSize(width, height)) || FAILED(frame->SetPixelFormat(&format)) ||
      !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
    return false;
  }
  // The encoder takes rows top row first; one at a time, since ours run the
  // other way.
  const UINT rowBytes = width * 3;
  for (std::uint32_t row = 0; row < height; ++row) {
    const std::uint8_t* source = bgrRows + std::size_t{rowBytes} * (height - 1 - row);
    if (FAILED(frame->WritePixels(1, rowBytes, rowBytes, const_cast<BYTE*>(source)))) return false;
  }
  return SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}
