#include "test_scene.h"

#include <algorithm>
#include <random>
#include <stdexcept>

std::vector<std::uint8_t> RandomPicture(int width, int height, std::uint32_t seed) {
  std::mt19937 random(seed);
  std::vector<std::uint8_t> picture(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (std::uint8_t& byte : picture) {
    const std::uint32_t roll = random() % 8;
    byte = roll == 0 ? 0 : roll == 1 ? 255 : static_cast<std::uint8_t>(random());
  }
  return picture;
}

ScopedScene::ScopedScene(int width, int height, const std::vector<std::uint8_t>& picture) {
  scene = SceneState{};
  scene.width = static_cast<std::uint16_t>(width);
  scene.height = static_cast<std::uint16_t>(height);
  scene.source = new std::uint8_t[picture.size()];
  std::copy(picture.begin(), picture.end(), scene.source);
  if (!AllocateFrameBuffers()) throw std::runtime_error("test picture too large");
  SetLight({width / 2, height / 2});
}

ScopedScene::~ScopedScene() {
  ReleaseBuffers();
  scene = SceneState{};
}

void SetLight(Pixel light) {
  scene.lightColumn = static_cast<std::uint16_t>(light.column);
  scene.lightRow = static_cast<std::uint16_t>(light.row);
  scene.lightIndex = static_cast<std::uint32_t>(light.row * scene.width + light.column);
}
