#include "test_scene.h"

#include <algorithm>
#include <random>
#include <stdexcept>

#include "renderer.h"

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
  scene.lightColumn = light.column;
  scene.lightRow = light.row;
  scene.lightIndex = std::int64_t{light.row} * scene.width + light.column;
}

std::vector<VectorLevel> Levels() {
  std::vector<VectorLevel> levels;
  for (VectorLevel level : {VectorLevel::Portable, VectorLevel::Avx2, VectorLevel::Avx512})
    if (level <= ProcessorVectorLevel()) levels.push_back(level);
  return levels;
}

const char* LevelName(VectorLevel level) {
  return level == VectorLevel::Portable ? "portable" : level == VectorLevel::Avx2 ? "AVX2" : "AVX-512";
}

std::vector<LightSettings> ShapedLights() {
  return {LightSettings{},
          {120, 37, {0x90, 0xC8, 0xFF}, ShownView::Final},
          {0, 400, {255, 255, 255}, ShownView::Final},
          {200, 0, {255, 255, 255}, ShownView::Rays},
          {60, 400, {0, 17, 255}, ShownView::Rays},
          {15, 100, {255, 255, 255}, ShownView::Emission},
          // Softness ramps, and the screen blend, with and without the table.
          {160, 300, {255, 255, 255}, ShownView::Final, 48, Blend::Screen},
          {0, 100, {255, 255, 255}, ShownView::Final, 255, Blend::Add},
          {0, 100, {255, 255, 255}, ShownView::Final, 0, Blend::Screen},
          {240, 400, {0x90, 0xC8, 0xFF}, ShownView::Final, 48, Blend::Screen},
          {100, 250, {255, 255, 255}, ShownView::Rays, 1, Blend::Screen},
          {30, 100, {255, 255, 255}, ShownView::Emission, 64, Blend::Add}};
}

std::string SettingsName(const LightSettings& settings) {
  char text[128];
  FormatSettings(text, sizeof text, settings);
  return text[0] == '\0' ? "defaults" : text + 3;
}
