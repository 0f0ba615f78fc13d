#pragma once

// What the benchmark files share: the picture sizes, the light positions and
// one noisy picture per size.

#include <cstdint>
#include <string>
#include <vector>

#include "reference_renderer.h"

struct PictureSize {
  int width;
  int height;
};

// 1920x1280: the preview frames of a 6000x4000 picture reduced to a screen.
inline constexpr PictureSize kSizes[] = {{640, 480},   {1920, 1080}, {1920, 1280},
                                         {3840, 2160}, {6000, 4000}, {7680, 4320}};

// Pictures larger than the screen, reduced to it.
struct Reduction {
  PictureSize from, to;
};
inline constexpr Reduction kReductions[] = {{{6000, 4000}, {1920, 1280}}};

std::string SizeName(PictureSize size);

// Outside: beside the left edge, a little way off (near) and a picture's
// width off (far), measured at 3840x2160 only.
enum class LightPlace { Centre, Corner, Edge, Moving, OutsideNear, OutsideFar };
inline constexpr LightPlace kLightPlaces[] = {LightPlace::Centre, LightPlace::Corner, LightPlace::Edge,
                                              LightPlace::Moving};
inline constexpr LightPlace kOutsidePlaces[] = {LightPlace::OutsideNear, LightPlace::OutsideFar};

const char* LightName(LightPlace place);

// How many lights the moving sequence has: few enough that a pass over it at
// the largest size stays within seconds.
inline constexpr int kMovingLights = 8;

// The lights a run visits in turn, one per frame; a single one except for
// the moving light.
std::vector<Pixel> LightSequence(LightPlace place, PictureSize size);

// The same noisy picture for the same size; only the last size asked for is
// kept, so register benchmarks grouped by size.
const std::vector<std::uint8_t>& BenchPicture(PictureSize size);

void RegisterFrameBenchmarks(PictureSize size);
void RegisterReferenceBenchmarks(PictureSize size);
void RegisterFloorBenchmarks(PictureSize size);
void RegisterReductionBenchmarks(PictureSize size);  // those from this size
void RegisterPngBenchmarks();
