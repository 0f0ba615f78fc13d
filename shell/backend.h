#pragma once

#include <cstdint>

#include "startup_messages.h"
#include "window_geometry.h"

// What a platform provides to the viewer. Each backend (SDL, Win32) fills
// in one of these; the start-up sequence in viewer.cpp drives it.
struct ShellBackend {
  // Reads the picture, checks it and fills the scene's `source`, `width`
  // and `height` (FillSource does the checks and the copy).
  LoadResult (*loadSourceImage)(const char* fileName);
  // A modal message with the caption "Error" and the error icon.
  void (*showError)(const char* text);
  // The primary screen's size in pixels; false without a display.
  bool (*primaryScreenSize)(std::int32_t* width, std::int32_t* height);
  // Opens, shows and paints the window titled "Glintor" whose client area is
  // the given rectangle, stores it in scene.window and installs the window
  // operations the renderer uses. False if there is no window.
  bool (*openMainWindow)(const ClientRectangle& client);
  // Runs until the window is closed or the program is asked to quit; pointer
  // moves go to HandlePointerMove with this frame routine.
  void (*runMessageLoop)(void (*renderFrame)());
  // Closes the window, if open, and lets go of the platform.
  void (*closeMainWindow)();
};

// The backend this program was built with.
const ShellBackend& PlatformBackend();
