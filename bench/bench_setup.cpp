#include "bench_setup.h"

#include <random>

#include "test_scene.h"

std::string SizeName(PictureSize size) {
  return std::to_string(size.width) + "x" + std::to_string(size.height);
}

const char* LightName(LightPlace place) {
  switch (place) {
    case LightPlace::Centre: return "centre";
    case LightPlace::Corner: return "corner";
    case LightPlace::Edge: return "edge";
    case LightPlace::Moving: return "moving";
    case LightPlace::OutsideNear: return "outside-near";
    case LightPlace::OutsideFar: return "outside-far";
  }
  return "?";
}

namespace {

// A mouse mostly moves inside the picture but often leaves it along a border,
// where the quadrants get most unbalanced; one light in four lies on an edge.
std::vector<Pixel> MovingLights(PictureSize size) {
  std::mt19937 random(5);
  auto below = [&](int limit) { return static_cast<int>(random() % static_cast<std::uint32_t>(limit)); };
  std::vector<Pixel> lights;
  for (int i = 0; i < kMovingLights; ++i) {
    Pixel light = {below(size.width), below(size.height)};
    if (i % 4 == 1) {
      switch (below(4)) {
        case 0: light.column = 0; break;
        case 1: light.column = size.width - 1; break;
        case 2: light.row = 0; break;
        default: light.row = size.height - 1; break;
      }
    }
    lights.push_back(light);
  }
  return lights;
}

}  // namespace

std::vector<Pixel> LightSequence(LightPlace place, PictureSize size) {
  switch (place) {
    case LightPlace::Centre: return {{size.width / 2, size.height / 2}};
    case LightPlace::Corner: return {{0, 0}};
    case LightPlace::Edge: return {{0, size.height / 2}};
    case LightPlace::Moving: return MovingLights(size);
    case LightPlace::OutsideNear: return {{-size.width / 32, size.height / 2}};
    case LightPlace::OutsideFar: return {{-size.width, size.height / 2}};
  }
  return {};
}

const std::vector<std::uint8_t>& BenchPicture(PictureSize size) {
  static PictureSize cachedSize{};
  static std::vector<std::uint8_t> cached;
  if (cachedSize.width != size.width || cachedSize.height != size.height) {
    cached.clear();
    cached.shrink_to_fit();
    cached = RandomPicture(size.width, size.height, 7);
    cachedSize = size;
  }
  return cached;
}
