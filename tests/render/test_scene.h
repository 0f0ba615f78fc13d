#pragma once

// Helpers that put a picture into the global scene for a test and take it
// down again, and run the renderer in a mode chosen at run time.

#include <cstdint>
#include <vector>

#include "quadrant_walks.h"
#include "reference_renderer.h"
#include "scene_state.h"

// B, G, R noise with plenty of 0 and 255 bytes, the same for the same seed.
std::vector<std::uint8_t> RandomPicture(int width, int height, std::uint32_t seed);

// The global scene holds a copy of the picture and zero-filled buffers while
// this lives; the light starts at the centre.
struct ScopedScene {
  ScopedScene(int width, int height, const std::vector<std::uint8_t>& picture);
  ~ScopedScene();
  ScopedScene(const ScopedScene&) = delete;
  ScopedScene& operator=(const ScopedScene&) = delete;
};

// The walk of the casting routine of the given quadrant.
template <typename Visit, typename RingDone>
void WalkIn(Quadrant quadrant, Visit&& visit, RingDone&& ringDone) {
  switch (quadrant) {
    case Quadrant::LowerLeft: WalkLowerLeft(visit, ringDone); break;
    case Quadrant::LowerRight: WalkLowerRight(visit, ringDone); break;
    case Quadrant::UpperLeft: WalkUpperLeft(visit, ringDone); break;
    case Quadrant::UpperRight: WalkUpperRight(visit, ringDone); break;
  }
}

void SetLight(Pixel light);  // also sets lightIndex, as a frame does
void RenderFrameIn(AccumulationMode mode);
void TraceRayIn(AccumulationMode mode, Pixel target);

inline const char* ModeName(AccumulationMode mode) {
  return mode == AccumulationMode::Weighted ? "Weighted" : "Uniform";
}
