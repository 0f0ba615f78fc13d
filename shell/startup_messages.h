#pragma once

#include <string>

// How loading the picture ended. Every value but Loaded ends the start-up.
enum class LoadResult {
  Loaded,
  NotFound,     // missing, unreadable or not a bitmap at all
  TooSmall,     // a side below 100 pixels
  TooLarge,     // a side above kMaxPictureSide
  Unsupported,  // 16 bits per pixel or fewer
  OutOfMemory,  // the picture's buffers could not be allocated
};

// The text that tells the user why the start-up failed; fileName is the
// picture as the user knows it ("source.bmp" for the viewer).
std::string StartupMessage(LoadResult result, const std::string& fileName);

// Shown when no window can be opened (no display, for instance).
inline constexpr const char* kWindowFailedMessage =
    "The window could not be opened,\nthe application will be closed.";
