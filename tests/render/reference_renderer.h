#pragma once

// A plain, single-threaded model of the renderer, written from the
// definitions rather than for speed. The optimised renderer must match it
// byte for byte.

#include <cstdint>
#include <vector>

#include "scene_state.h"

struct Pixel {
  int column;
  int row;
};

struct ReferenceRenderer {
  AccumulationMode mode;
  int width;
  int height;
  std::vector<std::uint8_t> source;  // B, G, R per pixel, row 0 at the bottom
  std::vector<std::uint8_t> coverage;
  std::vector<std::uint32_t> accum;
  std::vector<std::uint16_t> counts;
  std::vector<std::uint8_t> output;
  LightSettings settings;

  // Channel c of pixel `index` as it casts light under the threshold and
  // softness.
  std::uint32_t Emitted(std::size_t index, std::size_t c) const;

  ReferenceRenderer(AccumulationMode mode, int width, int height, std::vector<std::uint8_t> source);
  bool Inside(Pixel p) const;
  // Writes every pixel of the ray, or with targetAlone the target only.
  void TraceRay(Pixel light, Pixel target, bool targetAlone = false);
  // The four casting routines one after another, then compositing.
  void RenderFrame(Pixel light);
  void Composite();
};
