#pragma once

#include <cstdint>
#include <filesystem>

#include "frame_file.h"
#include "startup_messages.h"
#include "window_geometry.h"

// What the viewer does with the user's input.
struct ViewerInput {
  void (*renderFrame)();
  void (*saveFrame)();
};

// What a platform provides to the viewer. Each backend (SDL, Win32) fills
// in one of these; the start-up sequence in viewer.cpp drives it.
struct ShellBackend {
  // Reads the picture, checks it and fills the scene's `source`, `width`
  // and `height` (FillSource does the checks and the copy).
  LoadResult (*loadSourceImage)(const std::filesystem::path& file);
  // A modal message with the caption "Error" and the error icon.
  void (*showError)(const char* text);
  // The primary screen's bounds in pixels; false without a display.
  bool (*primaryScreenBounds)(ClientRectangle* bounds);
  // Opens, shows and paints the window titled "Glintor" whose client area is
  // the given rectangle, stores it in scene.window and installs the window
  // operations the renderer uses. False if there is no window.
  bool (*openMainWindow)(const ClientRectangle& client);
  // Runs until the window is closed, Escape is pressed or the program is
  // asked to quit; pointer moves go to HandlePointerMove with the frame
  // routine, S and Ctrl+S to saveFrame.
  void (*runMessageLoop)(const ViewerInput& input);
  // Closes the window, if open, and lets go of the platform.
  void (*closeMainWindow)();
  PngWriter writePng;
};

// The backend this program was built with.
const ShellBackend& PlatformBackend();
