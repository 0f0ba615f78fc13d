#pragma once

// A plain, single-threaded model of the renderer, written from the
// definitions rather than for speed: rays computed from their geometry,
// visiting orders built from the ring corners, compositing pixel by pixel.
// The optimised renderer must match it byte for byte.

#include <cstdint>
#include <vector>

#include "scene_state.h"

struct Pixel {
  int column;
  int row;
  bool operator==(const Pixel&) const = default;
};

enum class Quadrant { LowerLeft, LowerRight, UpperLeft, UpperRight };
inline constexpr Quadrant kQuadrants[] = {Quadrant::LowerLeft, Quadrant::LowerRight,
                                          Quadrant::UpperLeft, Quadrant::UpperRight};

// The pixels a ray from the light to the target passes, in order, light
// excluded, target included.
std::vector<Pixel> ReferenceRayPixels(Pixel light, Pixel target);

// The ring walk of one casting routine: every pixel it visits, in order.
std::vector<Pixel> ReferenceVisits(Quadrant quadrant, int width, int height, Pixel light);

struct ReferenceRenderer {
  AccumulationMode mode;
  int width;
  int height;
  std::vector<std::uint8_t> source;  // B, G, R per pixel, row 0 at the bottom
  std::vector<std::uint8_t> coverage;
  std::vector<std::uint32_t> accum;
  std::vector<std::uint16_t> counts;
  std::vector<std::uint8_t> output;

  ReferenceRenderer(AccumulationMode mode, int width, int height, std::vector<std::uint8_t> source);
  void TraceRay(Pixel light, Pixel target);
  // The four routines one after another, then compositing.
  void RenderFrame(Pixel light);
  void Composite();
};
