#pragma once

// Puts a picture into the global scene for a test and takes it down again.

#include <cstdint>
#include <string>
#include <vector>

#include "reference_renderer.h"
#include "scene_state.h"
#include "vector_level.h"

// B, G, R noise with plenty of 0 and 255 bytes, the same for the same seed.
std::vector<std::uint8_t> RandomPicture(int width, int height, std::uint32_t seed);

// The global scene holds a copy of the picture and fresh frame buffers while
// this lives; the light starts at the centre.
struct ScopedScene {
  ScopedScene(int width, int height, const std::vector<std::uint8_t>& picture);
  ~ScopedScene();
  ScopedScene(const ScopedScene&) = delete;
  ScopedScene& operator=(const ScopedScene&) = delete;
};

void SetLight(Pixel light);  // also sets lightIndex, as a frame does

inline const char* ModeName(AccumulationMode mode) {
  return mode == AccumulationMode::Weighted ? "Weighted" : "Uniform";
}

// Every vector level this processor runs, portable first.
std::vector<VectorLevel> Levels();
const char* LevelName(VectorLevel level);

// The kernels use at most the given level while this lives.
struct AtLevel {
  explicit AtLevel(VectorLevel level) { LimitVectorLevel(level); }
  ~AtLevel() { LimitVectorLevel(VectorLevel::Avx512); }
};

// The defaults and settings that reach every branch of casting and
// compositing: a threshold that leaves some pixels emitting, one that pure
// blue 128 (luma 14.5) reaches only when rounded, one back to 0, strengths 0, 37 and
// 400, non-white tints, each view, softness ramps and the screen blend.
std::vector<LightSettings> ShapedLights();
std::string SettingsName(const LightSettings& settings);
