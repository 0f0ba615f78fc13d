#include "pointer_light.h"

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

void HandlePointerMove(std::uint16_t x, std::uint16_t y, void (*renderFrame)()) {
  if (scene.busy != 0) return;
  const LightPosition light = MapPointerToLight(x, y, scene.width, scene.height);
  scene.lightColumn = light.column;
  scene.lightRow = light.row;
  renderFrame();
}
