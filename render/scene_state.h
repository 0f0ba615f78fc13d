#pragma once

#include <cstddef>
#include <cstdint>

// What one step of a ray adds and how the compositing normalises it; each
// program is built with one of the two.
enum class AccumulationMode { Weighted, Uniform };

// Largest picture side whose 16-bit signed deltas between two pixels are exact.
inline constexpr std::uint32_t kMaxPictureSide = 32768;

// What the frame shows.
enum class ShownView : std::uint8_t {
  Final,     // the picture with the light added
  Rays,      // the added light alone, on black
  Emission,  // the pixels that cast light
};

// How the light meets the picture.
enum class Blend : std::uint8_t {
  Add,     // source + light, clipped at 255
  Screen,  // brightens what is dark more than what is bright, never clips
};

// How the user shapes the light. The defaults give the plain effect.
struct LightSettings {
  // Only pixels whose luma (77 R + 150 G + 29 B + 128) >> 8 reaches the
  // threshold cast light; the others cast black. With a softness S the cut
  // becomes a ramp over threshold - S <= luma < threshold + S.
  std::uint8_t threshold = 0;
  // The added light in per cent, 0 to kMaxStrength.
  std::uint16_t strength = 100;
  // The added light's colour, B, G, R, each scaled by t / 255.
  std::uint8_t tint[3] = {255, 255, 255};
  ShownView view = ShownView::Final;
  std::uint8_t softness = 0;
  Blend blend = Blend::Add;

  bool operator==(const LightSettings&) const = default;
};
inline constexpr std::uint16_t kMaxStrength = 400;

// The whole state of the program. Pixel (column, row) has index
// row * width + column, row 0 at the bottom; colour buffers hold B, G, R.
struct SceneState {
  void* window;               // main window, opaque to the renderer
  std::int64_t lightIndex;    // lightRow * width + lightColumn, set every frame
  std::uint8_t busy;          // 1 while a frame is being rendered
  std::int32_t lightRow;      // counted from the bottom row; may lie outside
  std::int32_t lightColumn;   // counted from the left column; may lie outside
  std::uint8_t* coverage;     // 1 once a ray of this frame passed the pixel
  std::uint32_t* accum;       // three running sums per pixel
  std::uint16_t* counts;      // step index on the last ray through the pixel
  std::uint8_t* output;       // three bytes per pixel, the displayed frame
  std::uint8_t* source;       // three bytes per pixel, the loaded picture
  std::uint16_t height;
  std::uint16_t width;
  LightSettings settings;     // read by casting and compositing
  std::uint8_t* emission;     // what casting reads while the threshold is above 0
};

extern SceneState scene;

// The light may lie outside the picture, up to one picture's width or
// height beyond each edge: -width <= column < 2 width, -height <= row <
// 2 height. Rays from outside enter the picture at an edge.
inline bool LightInRange(std::int64_t column, std::int64_t row, std::uint32_t width, std::uint32_t height) {
  return -std::int64_t{width} <= column && column < 2 * std::int64_t{width} && -std::int64_t{height} <= row &&
         row < 2 * std::int64_t{height};
}

inline bool LightInside() {
  return scene.lightColumn >= 0 && scene.lightColumn < scene.width && scene.lightRow >= 0 &&
         scene.lightRow < scene.height;
}

// What casting reads: the emission picture, or the source while every pixel
// casts light.
inline const std::uint8_t* CastSource() {
  return scene.emission != nullptr ? scene.emission : scene.source;
}

// The weight, 0 to 255, with which a pixel of this luma casts its colour.
inline unsigned EmissionWeight(unsigned luma, unsigned threshold, unsigned softness) {
  if (softness == 0) return luma >= threshold ? 255 : 0;
  const int ramp = static_cast<int>(luma) - static_cast<int>(threshold) + static_cast<int>(softness);
  if (ramp <= 0) return 0;
  const unsigned weight = (255 * static_cast<unsigned>(ramp) + softness) / (2 * softness);
  return weight < 255 ? weight : 255;
}

// Makes the emission picture of scene.source for scene.settings' threshold
// and softness, or releases it while both are 0. False if memory is short: then there is
// none, and the caller restores a threshold of 0.
bool UpdateEmission();

// width * height, without 32-bit overflow.
inline std::size_t PixelCount() {
  return std::size_t{scene.width} * std::size_t{scene.height};
}

// Allocates output, coverage, accum and counts in that order, zero-filled.
// Returns false if one of them could not be allocated; whatever was
// allocated stays in the scene for ReleaseBuffers.
bool AllocateFrameBuffers();

// Releases counts, accum, source, output, coverage, then emission, each only
// if allocated, and leaves every pointer null.
void ReleaseBuffers();

// A picture with its own frame buffers, kept aside while the scene renders
// another one (a picture and its reduction to the window's size take turns;
// each keeps its own buffers).
struct SceneBuffers {
  std::uint16_t width;
  std::uint16_t height;
  std::uint8_t* source;
  std::uint8_t* output;
  std::uint8_t* coverage;
  std::uint32_t* accum;
  std::uint16_t* counts;
  std::uint8_t* emission;
};

// Exchanges the scene's picture and buffers with those kept aside. The light
// and the window stay; the caller places the light for the new picture.
void SwapSceneBuffers(SceneBuffers* aside);
