#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "startup_messages.h"

// The program's instance handle, which the window class and the window are
// given. WinMain sets it before anything else runs.
void UseProgramInstance(HINSTANCE instance);

// Reads the picture (BMP with the system's bitmap loader, PNG and JPEG with
// the Windows Imaging Component), checks it and fills the scene's `source`,
// `width` and `height`.
LoadResult LoadSourceImage(const std::filesystem::path& file);

// UTF-8 text as the system's wide strings.
std::wstring WideText(const std::string& utf8);

// The main window's procedure: ends the message loop when the window is
// destroyed, paints the image shown, hands pointer moves, rests, S (and
// Ctrl+S) and Space to the viewer and turns Escape into closing the window.
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Bytes of one row of a 24-bit device-independent bitmap: 3 a pixel,
// padded to a multiple of 4.
constexpr std::size_t DibRowBytes(std::uint16_t width) {
  return (std::size_t{width} * 3 + 3) & ~std::size_t{3};
}

// Copies packed rows of 3-byte pixels into rows of DibRowBytes(width) bytes,
// the layout the system reads a 24-bit picture in. Padding bytes become 0.
void PadRows(const std::uint8_t* packed, std::uint16_t width, std::uint16_t height,
             std::uint8_t* padded);
