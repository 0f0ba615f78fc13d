// Writing PNG files with the Windows Imaging Component's encoder.

#include <cstddef>

#include "win32_backend.h"
#include "win32_imaging.h"

namespace {

// The system's error behind an HRESULT, where it wraps one.
std::error_code HresultReason(HRESULT result) {
  const int code = HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result) : result;
  return {code, std::system_category()};
}

}  // namespace

bool WritePng(const std::filesystem::path& file, std::uint32_t width, std::uint32_t height,
              const std::uint8_t* bgrRows, std::error_code& reason) {
  if (width == 0 || height == 0 || width > 0x7FFFFFFF / 3 || height > 0x7FFFFFFF) {
    reason = HresultReason(E_INVALIDARG);
    return false;
  }
  const ComPtr<IWICImagingFactory> factory = ImagingFactory();
  // Released in reverse order: the file is closed before the caller renames it.
  ComPtr<IWICStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
  HRESULT result = E_FAIL;  // kept from the step that failed
  const auto done = [&result](HRESULT step) { return SUCCEEDED(result = step); };
  if (factory == nullptr || !done(factory->CreateStream(&stream)) ||
      !done(stream->InitializeFromFilename(file.c_str(), GENERIC_WRITE)) ||
      !done(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder)) ||
      !done(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
      !done(encoder->CreateNewFrame(&frame, &options)) || !done(frame->Initialize(options.Get())) ||
      !done(frame->SetSize(width, height)) || !done(frame->SetPixelFormat(&format)) ||
      !done(IsEqualGUID(format, GUID_WICPixelFormat24bppBGR) ? S_OK : WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT)) {
    reason = HresultReason(result);
    return false;
  }
  // The encoder takes rows top row first; one at a time, since ours run the
  // other way.
  const UINT rowBytes = width * 3;
  for (std::uint32_t row = 0; row < height; ++row) {
    const std::uint8_t* source = bgrRows + std::size_t{rowBytes} * (height - 1 - row);
    if (!done(frame->WritePixels(1, rowBytes, rowBytes, const_cast<BYTE*>(source)))) break;
  }
  if (SUCCEEDED(result) && done(frame->Commit()) && done(encoder->Commit())) return true;
  reason = HresultReason(result);
  return false;
}
