#pragma once

#include <cstddef>
#include <cstdint>

// What one step of a ray adds and how the compositing normalises it; each
// program is built with one of the two.
enum class AccumulationMode { Weighted, Uniform };

// Largest picture side whose 16-bit signed deltas between two pixels are exact.
inline constexpr std::uint32_t kMaxPictureSide = 32768;

// The whole state of the program. Pixel (column, row) has index
// row * width + column, row 0 at the bottom; colour buffers hold B, G, R.
struct SceneState {
  void* window;               // main window, opaque to the renderer
  std::uint32_t lightIndex;   // lightRow * width + lightColumn, set every frame
  std::uint8_t busy;          // 1 while a frame is being rendered
  std::uint16_t lightRow;     // counted from the bottom row
  std::uint16_t lightColumn;  // counted from the left column
  std::uint8_t* coverage;     // 1 once a ray of this frame passed the pixel
  std::uint32_t* accum;       // three running sums per pixel
  std::uint16_t* counts;      // step index on the last ray through the pixel
  std::uint8_t* output;       // three bytes per pixel, the displayed frame
  std::uint8_t* source;       // three bytes per pixel, the loaded picture
  std::uint16_t height;
  std::uint16_t width;
};

extern SceneState scene;

// width * height, without 32-bit overflow.
inline std::size_t PixelCount() {
  return std::size_t{scene.width} * std::size_t{scene.height};
}

// Allocates output, coverage, accum and counts in that order, zero-filled.
// Returns false if one of them could not be allocated; whatever was
// allocated stays in the scene for ReleaseBuffers.
bool AllocateFrameBuffers();

// Releases counts, accum, source, output, coverage in that order, each only
// if allocated, and leaves every pointer null.
void ReleaseBuffers();

// A picture with its own frame buffers, kept aside while the scene renders
// another one (a picture and its reduction to the window's size take turns;
// each keeps the sums its frames carry over).
struct SceneBuffers {
  std::uint16_t width;
  std::uint16_t height;
  std::uint8_t* source;
  std::uint8_t* output;
  std::uint8_t* coverage;
  std::uint32_t* accum;
  std::uint16_t* counts;
};

// Exchanges the scene's picture and buffers with those kept aside. The light
// and the window stay; the caller places the light for the new picture.
void SwapSceneBuffers(SceneBuffers* aside);
