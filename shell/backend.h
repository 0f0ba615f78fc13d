#pragma once

#include <cstdint>
#include <filesystem>

#include "frame_file.h"
#include "startup_messages.h"
#include "window_geometry.h"

// The keys that shape the light: T and Shift+T, + and -, ] and [, K and
// Shift+K, V, B, R.
enum class LightKey : std::uint8_t {
  ThresholdUp,
  ThresholdDown,
  StrengthUp,
  StrengthDown,
  SoftnessUp,
  SoftnessDown,
  NextView,
  NextBlend,
  Restore,  // the settings the viewer was started with
};

// The characters that change the strength, however the keyboard's layout
// types them (AltGr too): + and ] raise it, - and [ lower it, and = raises
// it as the unshifted + key of US and French keyboards; the keypad's + and
// - type them too.
inline bool StrengthKeyOfCharacter(std::uint32_t character, LightKey* key) {
  switch (character) {
    case '+': case '=': case ']': *key = LightKey::StrengthUp; return true;
    case '-': case '[': *key = LightKey::StrengthDown; return true;
    default: return false;
  }
}

// What the viewer does with the user's input.
struct ViewerInput {
  // A pointer move to client position (x, y), origin top-left: the
  // platform's 16-bit coordinates, or, while a mouse button is held
  // (dragged), signed ones anywhere on the screen. True if the frame shown
  // is a preview: then `rested` is due once the pointer has rested for
  // kRestMilliseconds. While a preview is shown the title ends in " (preview)".
  bool (*pointerMoved)(std::int32_t x, std::int32_t y, bool dragged);
  void (*rested)();
  void (*saveFrame)();
  // Space pressed (true) or released (false): the picture without the light.
  void (*compare)(bool held);
  // A key that shapes the light; true, as for pointerMoved, if a preview is
  // shown and `rested` is due.
  bool (*shapeLight)(LightKey key);
  // Escape or the close button: true if the window may close now; false
  // while saves are being finished, after which `woken` ends the loop.
  bool (*mayClose)();
  // ShellBackend::wake was called: the saves have news. False once the loop
  // is to end (a close was put off until the saves were done).
  bool (*woken)();
};

// How long the pointer and the keys rest before the exact frame replaces a
// preview: 150 ms, or as many as GLINTOR_REST_MILLISECONDS says (from 1 to
// 2^31 - 1; the tests hold previews on screen with a long rest).
extern const unsigned kRestMilliseconds;

// What the client area shows: packed B, G, R rows of the client area's
// size, bottom row first. Null before the first frame.
struct ShownImage {
  const std::uint8_t* pixels;
  std::uint16_t width;
  std::uint16_t height;
};
extern ShownImage shownImage;

// What a platform provides to the viewer. Each backend (SDL, Win32) fills
// in one of these; the start-up sequence in viewer.cpp drives it.
struct ShellBackend {
  // Reads the picture, checks it and fills the scene's `source`, `width`
  // and `height` (FillSource does the checks and the copy).
  LoadResult (*loadSourceImage)(const std::filesystem::path& file);
  // A modal message with the caption "Error" and the error icon.
  void (*showError)(const char* text);
  // The primary screen's areas in pixels; false without a display.
  bool (*screenAreas)(ScreenAreas* areas);
  // Opens, shows and paints the window titled "Glintor" whose client area is
  // the given rectangle, stores it in scene.window and installs the window
  // operations the renderer uses. False if there is no window.
  bool (*openMainWindow)(const ClientRectangle& client);
  // Runs until the window is closed or Escape is pressed (as `mayClose`
  // allows), or the program is asked to quit (SIGINT, SIGTERM), handing
  // pointer moves, rests, S and Ctrl+S, Space, the light's keys (not with
  // Ctrl, Alt or the system key) and wake-ups to the viewer; paints
  // shownImage.
  void (*runMessageLoop)(const ViewerInput& input);
  // Closes the window, if open, and lets go of the platform.
  void (*closeMainWindow)();
  // From any thread: has the message loop call ViewerInput::woken.
  void (*wake)();
  // Paints shownImage at once, before the message loop runs.
  void (*paintNow)();
};

// The backend this program was built with.
const ShellBackend& PlatformBackend();
