#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "scene_state.h"
#include "test_scene.h"

namespace {

TEST(SceneBuffers, AreZeroFilledAndReleasedInFull) {
  {
    ScopedScene picture(103, 100, RandomPicture(103, 100, 15));
    EXPECT_TRUE(std::all_of(scene.accum, scene.accum + PixelCount() * 3, [](auto v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(scene.counts, scene.counts + PixelCount(), [](auto v) { return v == 0; }));
    EXPECT_TRUE(std::all_of(scene.coverage, scene.coverage + PixelCount(), [](auto v) { return v == 0; }));
    ReleaseBuffers();
    EXPECT_EQ(scene.counts, nullptr);
    EXPECT_EQ(scene.accum, nullptr);
    EXPECT_EQ(scene.source, nullptr);
    EXPECT_EQ(scene.output, nullptr);
    EXPECT_EQ(scene.coverage, nullptr);
  }  // a second release, by the scene's end, finds nothing to free
}

// 32-bit products would wrap for the largest pictures and under-allocate.
TEST(SceneBuffers, SizesOfTheLargestPictureDoNotWrap) {
  scene = SceneState{};
  scene.width = static_cast<std::uint16_t>(kMaxPictureSide);
  scene.height = static_cast<std::uint16_t>(kMaxPictureSide);
  EXPECT_EQ(PixelCount() * 12, 12'884'901'888u);
  scene = SceneState{};
}

}  // namespace
