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

// Why the start-up failed: the message, and on a line of its own what
// would have been read (empty when there is nothing to add).
struct StartupFailure {
  std::string message;
  std::string detail;

  // For the message box: the message's own line breaks kept.
  std::string ForBox() const;
  // For a terminal: the message on one line, whatever the terminal's width,
  // then the detail on the next.
  std::string ForTerminal() const;
};

// fileName is the picture as the user named it ("source.bmp" when the
// viewer is given none). A picture refused for its size is told the sides
// it claimed, those of the last size check. A file of unknown format is
// one whose format is not supported.
StartupFailure StartupMessage(LoadResult result, const std::string& fileName);

// Shown when no window can be opened (no display, for instance).
inline constexpr const char* kWindowFailedMessage =
    "The window could not be opened,\nthe application will be closed.";
