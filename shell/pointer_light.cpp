#include "pointer_light.h"

#include <algorithm>

#include "scene_state.h"

LightPosition MapPointerToLight(std::uint16_t x, std::uint16_t y, std::uint16_t width,
                                std::uint16_t height) {
  LightPosition light{};
  light.column = x < width ? x : std::uint16_t{0};
  // The top client row gives row `height`, which does not exist: row 0.
  const auto row = static_cast<std::uint16_t>(height - y);
  light.row = row < height ? row : std::uint16_t{0};
  return light;
}

LightPosition MapDraggedPointerToLight(std::int32_t x, std::int32_t y, std::uint16_t width,
                                       std::uint16_t height) {
  const std::int32_t w = width, h = height;
  return {std::clamp(x, -w, 2 * w - 1), std::clamp(h - y, -h, 2 * h - 1)};
}

namespace {

void MoveLight(LightPosition light, void (*renderFrame)()) {
  if (scene.busy != 0) return;
  scene.lightColumn = light.column;
  scene.lightRow = light.row;
  renderFrame();
}

}  // namespace

void HandlePointerMove(std::uint16_t x, std::uint16_t y, void (*renderFrame)()) {
  MoveLight(MapPointerToLight(x, y, scene.width, scene.height), renderFrame);
}

void HandlePointerDrag(std::int32_t x, std::int32_t y, void (*renderFrame)()) {
  MoveLight(MapDraggedPointerToLight(x, y, scene.width, scene.height), renderFrame);
}
