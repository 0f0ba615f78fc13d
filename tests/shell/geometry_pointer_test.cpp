// Window placement and the pointer-to-light mapping.

#include <gtest/gtest.h>

#include <vector>

#include "pointer_light.h"
#include "scene_state.h"
#include "window_geometry.h"

namespace {

TEST(CentreClientRectangle, CentresAPictureOnAFullHdScreen) {
  const ClientRectangle client = CentreClientRectangle({0, 0, 1920, 1080}, 640, 480);
  EXPECT_EQ(client.left, 640);
  EXPECT_EQ(client.top, 300);
  EXPECT_EQ(client.right, 1280);
  EXPECT_EQ(client.bottom, 780);
}

TEST(CentreClientRectangle, OddLeftoverRoundsDown) {
  const ClientRectangle client = CentreClientRectangle({0, 0, 1280, 1024}, 101, 100);
  EXPECT_EQ(client.left, 589);
  EXPECT_EQ(client.top, 462);
  EXPECT_EQ(client.right - client.left, 101);
  EXPECT_EQ(client.bottom - client.top, 100);
}

TEST(CentreClientRectangle, PictureLargerThanScreenRoundsTowardZero) {
  // 3 pixels wider than the screen: -1.5 becomes -1, not -2.
  const ClientRectangle wide = CentreClientRectangle({0, 0, 1920, 1080}, 1923, 480);
  EXPECT_EQ(wide.left, -1);
  EXPECT_EQ(wide.right, 1922);
  const ClientRectangle tall = CentreClientRectangle({0, 0, 800, 600}, 100, 32768);
  EXPECT_EQ(tall.top, -16084);
  EXPECT_EQ(tall.bottom, 16684);
}

TEST(CentreClientRectangle, AScreenAwayFromTheOriginKeepsItsOffset) {
  // A primary display standing right of and below another one.
  const ClientRectangle client = CentreClientRectangle({1920, 200, 3200, 1224}, 640, 480);
  EXPECT_EQ(client.left, 1920 + 320);
  EXPECT_EQ(client.top, 200 + 272);
  EXPECT_EQ(client.right, 1920 + 960);
}

TEST(MapPointerToLight, ClientRowsCountFromTheTopPictureRowsFromTheBottom) {
  const std::uint16_t width = 101, height = 100;
  // Bottom client row gives picture row 1, the second row from the top
  // gives the top picture row.
  EXPECT_EQ(MapPointerToLight(7, height - 1, width, height).row, 1);
  EXPECT_EQ(MapPointerToLight(7, 1, width, height).row, height - 1);
  EXPECT_EQ(MapPointerToLight(7, 40, width, height).row, 60);
  EXPECT_EQ(MapPointerToLight(7, 40, width, height).column, 7);
}

TEST(MapPointerToLight, PositionsOutsideThePictureBecomeZero) {
  const std::uint16_t width = 101, height = 100;
  // The top client row would be row `height`.
  EXPECT_EQ(MapPointerToLight(30, 0, width, height).row, 0);
  EXPECT_EQ(MapPointerToLight(30, 0, width, height).column, 30);
  EXPECT_EQ(MapPointerToLight(width - 1, 5, width, height).column, width - 1);
  EXPECT_EQ(MapPointerToLight(width, 5, width, height).column, 0);
  EXPECT_EQ(MapPointerToLight(500, 5, width, height).column, 0);
  // Below the client area, and negative coordinates taken modulo 65536.
  EXPECT_EQ(MapPointerToLight(5, height, width, height).row, 0);
  EXPECT_EQ(MapPointerToLight(5, height + 20, width, height).row, 0);
  EXPECT_EQ(MapPointerToLight(static_cast<std::uint16_t>(-3), static_cast<std::uint16_t>(-3),
                              width, height).column,
            0);
  EXPECT_EQ(MapPointerToLight(5, static_cast<std::uint16_t>(-3), width, height).row, 0);
}

std::vector<std::uint16_t> framesRendered;
void RecordFrame() { framesRendered.push_back(scene.lightColumn); }

class HandlePointerMoveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene = SceneState{};
    scene.width = 200;
    scene.height = 150;
    scene.lightColumn = 100;
    scene.lightRow = 75;
    framesRendered.clear();
  }
  void TearDown() override { scene = SceneState{}; }
};

TEST_F(HandlePointerMoveTest, MovesTheLightThenRendersOneFrame) {
  HandlePointerMove(12, 140, RecordFrame);
  EXPECT_EQ(scene.lightColumn, 12);
  EXPECT_EQ(scene.lightRow, 10);
  ASSERT_EQ(framesRendered.size(), 1u);
  EXPECT_EQ(framesRendered[0], 12);  // the light was set before the frame
}

TEST_F(HandlePointerMoveTest, MoveDuringAFrameIsDropped) {
  scene.busy = 1;
  HandlePointerMove(12, 140, RecordFrame);
  EXPECT_EQ(scene.lightColumn, 100);
  EXPECT_EQ(scene.lightRow, 75);
  EXPECT_TRUE(framesRendered.empty());
}

}  // namespace
