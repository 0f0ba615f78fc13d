#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "renderer.h"
#include "scene_state.h"
#include "test_scene.h"

namespace {

void* QuadrantNumber(std::uintptr_t number) { return reinterpret_cast<void*>(number); }

std::uint32_t CompositeIn(AccumulationMode mode, std::uintptr_t quadrant) {
  return mode == AccumulationMode::Weighted
             ? CompositeQuadrant<AccumulationMode::Weighted>(QuadrantNumber(quadrant))
             : CompositeQuadrant<AccumulationMode::Uniform>(QuadrantNumber(quadrant));
}

// One pixel, all three channels alike, composited through quadrant 0 of a
// 2 x 2 picture.
std::uint8_t CompositeOne(AccumulationMode mode, std::uint16_t count, std::uint32_t sum,
                          std::uint8_t sourceByte) {
  ScopedScene picture(2, 2, std::vector<std::uint8_t>(12, sourceByte));
  scene.counts[0] = count;
  for (int c = 0; c < 3; ++c) scene.accum[c] = sum;
  EXPECT_EQ(CompositeIn(mode, 0), 1u);
  EXPECT_EQ(scene.output[0], scene.output[1]);
  EXPECT_EQ(scene.output[0], scene.output[2]);
  return scene.output[0];
}

TEST(CompositeQuadrant, NormalisesTheSumByTheModesDivisor) {
  EXPECT_EQ(CompositeOne(AccumulationMode::Uniform, 4, 400, 10), 110);
  EXPECT_EQ(CompositeOne(AccumulationMode::Weighted, 4, 400, 10), 35);  // 400 / 16 = 25
  EXPECT_EQ(CompositeOne(AccumulationMode::Uniform, 2, 7, 0), 3);       // truncates
  EXPECT_EQ(CompositeOne(AccumulationMode::Weighted, 3, 26, 1), 3);     // 26 / 9 = 2
}

TEST(CompositeQuadrant, CountZeroShowsTheSourceWhateverTheSums) {
  for (AccumulationMode mode : {AccumulationMode::Weighted, AccumulationMode::Uniform}) {
    EXPECT_EQ(CompositeOne(mode, 0, 123456789, 77), 77) << ModeName(mode);
  }
}

TEST(CompositeQuadrant, ClampsAt255AfterTheSixteenBitReductions) {
  EXPECT_EQ(CompositeOne(AccumulationMode::Uniform, 1, 200, 100), 255);
  // 65541 keeps its low 16 bits, 5; plus 10 is 15, not clamped to 255.
  EXPECT_EQ(CompositeOne(AccumulationMode::Uniform, 1, 65541, 10), 15);
  // 65535 squared is the largest divisor and does not wrap: 4294836225 / it = 1.
  EXPECT_EQ(CompositeOne(AccumulationMode::Weighted, 65535, 4294836225u, 7), 8);
  EXPECT_EQ(CompositeOne(AccumulationMode::Weighted, 65535, 4294836224u, 7), 7);
}

// Counts, sums and sources of every size, including those no ray writes
// (sums far above 255 times the divisor), against plain integer division,
// over widths that leave every remainder of a multi-pixel step.
TEST(CompositeQuadrant, MatchesPlainDivisionForAnyContent) {
  std::mt19937 random(18);
  for (int width : {16, 17, 18, 19, 41}) {
    constexpr int kHeight = 6;
    ScopedScene picture(width, kHeight, RandomPicture(width, kHeight, 19));
    for (std::size_t i = 0; i < PixelCount(); ++i) {
      const std::uint32_t roll = random() % 4;
      scene.counts[i] = static_cast<std::uint16_t>(roll == 0 ? random() % 3 : roll == 1 ? 65535 - random() % 3 : random());
    }
    for (std::size_t i = 0; i < PixelCount() * 3; ++i) {
      const std::uint32_t roll = random() % 4;
      scene.accum[i] = static_cast<std::uint32_t>(roll == 0 ? UINT32_MAX - random() % 3 : roll == 1 ? random() % 70000 : random());
    }
    for (AccumulationMode mode : {AccumulationMode::Weighted, AccumulationMode::Uniform}) {
      for (std::uintptr_t quadrant = 0; quadrant < 4; ++quadrant) ASSERT_EQ(CompositeIn(mode, quadrant), 1u);
      for (std::size_t i = 0; i < PixelCount() * 3; ++i) {
        const std::uint64_t count = scene.counts[i / 3];
        const std::uint64_t divisor = mode == AccumulationMode::Weighted ? count * count : count;
        const std::uint64_t quotient = count == 0 ? 0 : (scene.accum[i] / divisor) & 0xFFFF;
        const std::uint64_t value = (scene.source[i] + quotient) & 0xFFFF;
        ASSERT_EQ(scene.output[i], std::min<std::uint64_t>(value, 255))
            << ModeName(mode) << " width " << width << " channel " << i << " count " << count << " sum " << scene.accum[i];
      }
    }
  }
}

TEST(CompositeQuadrant, SplitsAnOddPictureIntoTheFourQuadrants) {
  constexpr int kSide = 101;
  ScopedScene picture(kSide, kSide, std::vector<std::uint8_t>(kSide * kSide * 3, 0));
  // Give every pixel a count of 1 and a sum naming its own quadrant, so that
  // each quadrant's output shows which pixels it wrote.
  for (std::size_t i = 0; i < PixelCount(); ++i) scene.counts[i] = 1;
  for (std::uintptr_t quadrant = 0; quadrant < 4; ++quadrant) {
    for (std::size_t i = 0; i < PixelCount() * 3; ++i) scene.accum[i] = 10 + static_cast<std::uint32_t>(quadrant);
    ASSERT_EQ(CompositeIn(AccumulationMode::Uniform, quadrant), 1u);
  }
  std::size_t pixelsOf[4] = {0, 0, 0, 0};
  for (int row = 0; row < kSide; ++row) {
    for (int column = 0; column < kSide; ++column) {
      const std::size_t index = static_cast<std::size_t>(row * kSide + column) * 3;
      const int expected = (row >= 50 ? 1 : 0) + (column >= 50 ? 2 : 0);
      ASSERT_EQ(scene.output[index], 10 + expected) << column << "," << row;
      ++pixelsOf[scene.output[index] - 10];
    }
  }
  EXPECT_EQ(pixelsOf[0], 2500u);
  EXPECT_EQ(pixelsOf[1], 2550u);
  EXPECT_EQ(pixelsOf[2], 2550u);
  EXPECT_EQ(pixelsOf[3], 2601u);
}

TEST(CompositeQuadrant, IgnoresQuadrantNumbersAboveThree) {
  ScopedScene picture(4, 4, std::vector<std::uint8_t>(48, 9));
  EXPECT_EQ(CompositeIn(AccumulationMode::Weighted, 4), 0u);
  for (std::size_t i = 0; i < PixelCount() * 3; ++i) EXPECT_EQ(scene.output[i], 0) << i;
}

// On a constant picture the added light is the mean in Uniform mode and
// fades towards half of it in Weighted mode.
TEST(CompositeQuadrant, ConstantPictureGivesTheClosedFormAfterAFrame) {
  constexpr int kWidth = 201, kHeight = 101;
  constexpr std::uint8_t kValue = 100;
  for (AccumulationMode mode : {AccumulationMode::Weighted, AccumulationMode::Uniform}) {
    ScopedScene picture(kWidth, kHeight, std::vector<std::uint8_t>(kWidth * kHeight * 3, kValue));
    SetLight({0, 50});
    RenderFrameIn(mode);
    for (int step : {1, 2, 7, 100, 200}) {
      const std::size_t index = static_cast<std::size_t>(50 * kWidth + step) * 3;
      const int expected = mode == AccumulationMode::Uniform ? 200 : kValue + kValue * (step + 1) / (2 * step);
      EXPECT_EQ(scene.output[index], expected) << ModeName(mode) << " step " << step;
    }
  }
}

}  // namespace
