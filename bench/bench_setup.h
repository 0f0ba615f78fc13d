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

inline constexpr PictureSize kSizes[] = {{640, 480}, {1920, 1080}, {3840, 2160}, {7680, 4320}};

std::string SizeName(PictureSize size);

enum class LightPlace { Centre, Corner, Edge, Moving };
inline constexpr LightPlace kLightPlaces[] = {LightPlace::Centre, LightPlace::Corner, LightPlace::Edge,
                                              LightPlace::Moving};

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
