// Window placement and the pointer-to-light mapping.

#include <gtest/gtest.h>

#include "pointer_light.h"
#include "scene_state.h"
#include "window_geometry.h"

namespace {

TEST(CentreClientRectangle, CentresOnTheScreenWhereverItStands) {
  const struct {
    ClientRectangle screen;
    std::uint16_t width, height;
    std::int32_t left, top;
  } cases[] = {
      {{0, 0, 1280, 1024}, 101, 100, 589, 462},
      // A primary display right of and below another one.
      {{1920, 200, 3200, 1224}, 640, 480, 2240, 472},
      // Larger than the screen: -1.5 and -16083.5 round toward zero.
      {{0, 0, 1920, 1080}, 1923, 32767, -1, -15843},
  };
  for (const auto& c : cases) {
    const ClientRectangle client = CentreClientRectangle(c.screen, c.width, c.height);
    EXPECT_EQ(client.left, c.left);
    EXPECT_EQ(client.top, c.top);
    EXPECT_EQ(client.right, c.left + c.width);
    EXPECT_EQ(client.bottom, c.top + c.height);
  }
}

TEST(MapPointerToLight, ClientRowsFromTheTopPictureRowsFromTheBottomOutsideIsZero) {
  const struct {
    std::uint16_t x, y, column, row;
  } cases[] = {
      {7, 99, 7, 1},     {7, 1, 7, 99},     {7, 40, 7, 60},  {30, 0, 30, 0},  // top row would be 100
      {100, 5, 100, 95}, {101, 5, 0, 95},   {500, 5, 0, 95}, {5, 100, 5, 0},
      {5, 120, 5, 0},    {65533, 65533, 0, 0},                               // -3, -3
  };
  for (const auto& c : cases) {
    const LightPosition light = MapPointerToLight(c.x, c.y, 101, 100);
    EXPECT_EQ(light.column, c.column) << c.x << "," << c.y;
    EXPECT_EQ(light.row, c.row) << c.x << "," << c.y;
  }
}

int frames = 0;

TEST(HandlePointerMove, MovesTheLightAndRendersUnlessAFrameIsUnderWay) {
  scene = SceneState{};
  scene.width = 200;
  scene.height = 150;
  HandlePointerMove(12, 140, [] { frames += scene.lightColumn == 12 && scene.lightRow == 10; });
  EXPECT_EQ(frames, 1);
  scene.busy = 1;
  HandlePointerMove(50, 50, [] { ++frames; });
  EXPECT_EQ(frames, 1);
  EXPECT_EQ(scene.lightColumn, 12);
  scene = SceneState{};
}

}  // namespace
