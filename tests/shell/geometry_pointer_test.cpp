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

TEST(PlaceWindow, OneToOneWhereTheWindowFitsElseTheLargestReductionThatFitsCentred) {
  const ClientRectangle screen{0, 0, 1920, 1080};
  const struct {
    ClientRectangle usable;
    std::int32_t frameLeft, frameTop, frameWidth, frameHeight;
    std::uint16_t width, height;
    ClientRectangle client;
    bool scaled;
  } cases[] = {
      // Fits: centred on the whole screen, as ever; unless the frame would
      // then reach over the task bar (by 8 rows): moved up, just within.
      {{0, 0, 1920, 1040}, 8, 31, 16, 39, 1904, 985, {8, 47, 1912, 1032}, false},
      {{0, 0, 1920, 1040}, 8, 31, 16, 39, 1904, 1001, {8, 31, 1912, 1032}, false},
      // One pixel too tall with the frame: reduced, the height limiting,
      // the width rounded (1902.1; 1501.5 half up), the window centred on
      // the area.
      {{0, 0, 1920, 1040}, 8, 31, 16, 39, 1904, 1002, {9, 31, 1911, 1032}, true},
      {{0, 0, 1920, 1040}, 8, 31, 16, 39, 6000, 4000, {209, 31, 1711, 1032}, true},
      // A task bar at the top; the width limiting.
      {{0, 40, 1920, 1080}, 0, 0, 0, 0, 32768, 10000, {0, 267, 1920, 853}, true},
      // Sides that would round to nothing keep a pixel.
      {{0, 0, 1920, 1080}, 0, 0, 0, 0, 32768, 100, {0, 537, 1920, 543}, true},
      {{0, 0, 1920, 1080}, 0, 0, 0, 0, 32768, 8, {0, 539, 1920, 540}, true},
  };
  for (const auto& c : cases) {
    const ScreenAreas areas{screen, c.usable, c.frameLeft, c.frameTop, c.frameWidth, c.frameHeight};
    const WindowPlacement placed = PlaceWindow(areas, c.width, c.height);
    EXPECT_EQ(placed.scaled, c.scaled) << c.width << " x " << c.height;
    EXPECT_EQ(placed.client.left, c.client.left) << c.width << " x " << c.height;
    EXPECT_EQ(placed.client.top, c.client.top) << c.width << " x " << c.height;
    EXPECT_EQ(placed.client.right, c.client.right) << c.width << " x " << c.height;
    EXPECT_EQ(placed.client.bottom, c.client.bottom) << c.width << " x " << c.height;
  }
}

TEST(MapWindowPixelToPicture, CornersOnCornersRowsFromTheBottomOutsideIsZero) {
  const struct {
    std::uint16_t x, y, windowWidth, windowHeight, column, row;
  } cases[] = {
      {0, 0, 800, 518, 0, 1099},      {799, 0, 800, 518, 1699, 1099}, {0, 517, 800, 518, 0, 0},
      {799, 517, 800, 518, 1699, 0},  {200, 59, 800, 518, 425, 974},  {400, 259, 800, 518, 851, 548},
      {800, 5, 800, 518, 0, 1088},    {5, 518, 800, 518, 11, 0},      {0, 0, 1, 1, 850, 549},
  };
  for (const auto& c : cases) {
    const PicturePixel pixel = MapWindowPixelToPicture(c.x, c.y, c.windowWidth, c.windowHeight, 1700, 1100);
    EXPECT_EQ(pixel.column, c.column) << c.x << "," << c.y;
    EXPECT_EQ(pixel.row, c.row) << c.x << "," << c.y;
    // Dragged, the same inside the window.
    if (c.x >= c.windowWidth || c.y >= c.windowHeight) continue;
    const PicturePixel dragged = MapDraggedWindowPixelToPicture(c.x, c.y, c.windowWidth, c.windowHeight, 1700, 1100);
    EXPECT_EQ(dragged.column, c.column) << c.x << "," << c.y;
    EXPECT_EQ(dragged.row, c.row) << c.x << "," << c.y;
  }
}

// Dragged out of the window, the spread goes on, rounded as inside, as far
// as the light's range.
TEST(MapDraggedWindowPixelToPicture, SpreadsPastTheEdgesToTheLightsRange) {
  const struct {
    std::int32_t x, y, column, row;
  } cases[] = {
      {-1, 0, -2, 1099},  {-3, -1, -6, 1101},       {800, 517, 1701, 0},   {200, 600, 425, -176},
      {-9999, 0, -1700, 1099}, {9999, -9999, 3399, 2199}, {5, 9999, 11, -1100},
  };
  for (const auto& c : cases) {
    const PicturePixel pixel = MapDraggedWindowPixelToPicture(c.x, c.y, 800, 518, 1700, 1100);
    EXPECT_EQ(pixel.column, c.column) << c.x << "," << c.y;
    EXPECT_EQ(pixel.row, c.row) << c.x << "," << c.y;
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
  // With a button held: past every edge, as far as the light's range.
  const struct {
    std::int32_t x, y, column, row;
  } dragged[] = {{7, 40, 7, 60}, {0, 0, 0, 100}, {-40, 50, -40, 50}, {-500, 50, -101, 50}, {300, -200, 201, 199},
                 {5, 300, 5, -100}};
  for (const auto& c : dragged) {
    const LightPosition light = MapDraggedPointerToLight(c.x, c.y, 101, 100);
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
