#pragma once

#include <string>

// How loading the picture ended. Every value but Loaded ends the start-up.
enum class LoadResult {
  Loaded,
  NotFound,       // missing, unreadable, cut short or corrupt
  TooSmall,       // a side below 100 pixels
  TooLarge,       // a side above kMaxPictureSide
  Unsupported,    // 16 bits per pixel or fewer, or an encoding not read
  UnknownFormat,  // bytes of no picture format read here
  OutOfMemory,    // the picture's buffers could not be allocated
};

// The text that tells the user why the start-up failed; fileName is the
// picture as the user named it ("source.bmp" when the viewer is given none).
// A file of unknown format is one whose format is not supported.
std::string StartupMessage(LoadResult result, const std::string& fileName);

// Shown when no window can be opened (no display, for instance).
inline constexpr const char* kWindowFailedMessage =
    "The window could not be opened,\nthe application will be closed.";
