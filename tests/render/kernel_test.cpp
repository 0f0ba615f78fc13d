#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <tuple>
#include <vector>

#include "quadrant_walks.h"
#include "ray_kernels.h"
#include "reference_renderer.h"
#include "renderer.h"
#include "test_scene.h"

namespace {

void Trace(AccumulationMode mode, const RayTarget* targets, int count, const RayTarget* following) {
  (mode == AccumulationMode::Weighted ? TraceRays<AccumulationMode::Weighted>
                                      : TraceRays<AccumulationMode::Uniform>)(targets, count, following);
}

class EveryKernel : public ::testing::TestWithParam<AccumulationMode> {};

// One ring of a casting routine from a random light, a third of its targets
// left out as covered ones would be, cut into batches of any size and traced
// last batch first over buffers full of leftovers: each kernel must leave
// what tracing the rays one after another leaves. On the way, the later
// rings must lie in their box, and one uncovered pixel, often on the light's
// row or column or the box's edge, must show in the box's coverage if there.
TEST_P(EveryKernel, MatchesTheRaysTracedOneAfterAnother) {
  const AccumulationMode mode = GetParam();
  std::mt19937 random(11);
  auto below = [&](int limit) { return static_cast<int>(random() % static_cast<std::uint32_t>(limit)); };
  for (auto [width, height] : {std::pair{2, 3}, {7, 5}, {64, 48}, {257, 33}, {33, 257}, {700, 20}}) {
    const auto source = RandomPicture(width, height, static_cast<std::uint32_t>(width * height));
    ScopedScene picture(width, height, source);
    for (int trial = 0; trial < 48; ++trial) {
      const Pixel light = trial == 0 ? Pixel{width - 1, height - 1} : Pixel{below(width), below(height)};
      SetLight(light);
      const int wanted = trial % 3 == 2 ? 1 + below(3) : 0;
      const PixelBox box = LaterRingsBox(trial % 4);
      auto inBox = [&](int c, int r) { return box.firstColumn <= c && c <= box.lastColumn && box.firstRow <= r && r <= box.lastRow; };
      std::vector<RayTarget> ring;
      int k = 0;
      auto visit = [&](std::int32_t column, std::int32_t row, std::size_t) {
        EXPECT_TRUE(k == 0 || inBox(column, row)) << "a later ring leaves its box at " << column << "," << row;
        if (k == wanted && below(3) != 0) ring.push_back({std::uint32_t(column), std::uint32_t(row)});
      };
      auto ringDone = [&] { ++k; return true; };
      switch (trial % 4) {
        case 0: WalkLowerLeft(visit, ringDone); break;
        case 1: WalkLowerRight(visit, ringDone); break;
        case 2: WalkUpperLeft(visit, ringDone); break;
        default: WalkUpperRight(visit, ringDone); break;
      }
      std::fill(scene.coverage, scene.coverage + PixelCount(), 1);
      const int columns[] = {light.column - 1, light.column, light.column + 1, box.firstColumn, box.lastColumn, below(width)};
      const int rows[] = {light.row, box.firstRow, box.lastRow, below(height)};
      const Pixel hole{std::clamp(columns[below(6)], 0, width - 1), std::clamp(rows[below(4)], 0, height - 1)};
      scene.coverage[std::size_t(hole.row * width + hole.column)] = 0;
      EXPECT_EQ(BoxCovered(box), !inBox(hole.column, hole.row)) << "hole at " << hole.column << "," << hole.row;

      const int size = static_cast<int>(ring.size());
      std::vector<int> starts;
      for (int first = 0; first < size; first += below(2) == 0 ? kRayBatch : 1 + below(kRayBatch))
        starts.push_back(first);

      ReferenceRenderer reference(mode, width, height, source);
      for (std::uint8_t& byte : reference.coverage) byte = static_cast<std::uint8_t>(below(2));
      for (std::uint16_t& count : reference.counts) count = static_cast<std::uint16_t>(random());
      for (std::uint32_t& sum : reference.accum) sum = static_cast<std::uint32_t>(random());
      const ReferenceRenderer leftovers = reference;
      for (RayTarget target : ring) reference.TraceRay(light, {int(target.column), int(target.row)});

      for (VectorLevel level : Levels()) {
        const AtLevel atLevel(level);
        std::copy(leftovers.coverage.begin(), leftovers.coverage.end(), scene.coverage);
        std::copy(leftovers.counts.begin(), leftovers.counts.end(), scene.counts);
        std::copy(leftovers.accum.begin(), leftovers.accum.end(), scene.accum);
        for (std::size_t b = starts.size(); b-- > 0;) {
          const int end = b + 1 < starts.size() ? starts[b + 1] : size;
          Trace(mode, &ring[std::size_t(starts[b])], end - starts[b], end < size ? &ring[std::size_t(end)] : nullptr);
        }
        SCOPED_TRACE(::testing::Message() << LevelName(level) << " " << width << "x" << height << " trial " << trial);
        ASSERT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum));
        ASSERT_TRUE(std::equal(reference.counts.begin(), reference.counts.end(), scene.counts));
        ASSERT_TRUE(std::equal(reference.coverage.begin(), reference.coverage.end(), scene.coverage));
      }
    }
  }
}

// 255 * 5803 * 5804 / 2 still fits in 32 bits; one step further wraps.
TEST_P(EveryKernel, WrapsWeightedSumsFromStep5804) {
  const AccumulationMode mode = GetParam();
  ScopedScene picture(5805, 1, std::vector<std::uint8_t>(5805 * 3, 255));
  SetLight({0, 0});
  const RayTarget target{5804, 0};
  const bool weighted = mode == AccumulationMode::Weighted;
  for (VectorLevel level : Levels()) {
    const AtLevel atLevel(level);
    SCOPED_TRACE(LevelName(level));
    std::fill(scene.accum, scene.accum + PixelCount() * 3, 0u);
    std::fill(scene.counts, scene.counts + PixelCount(), 0);
    Trace(mode, &target, 1, nullptr);
    EXPECT_EQ(scene.counts[5804], 5804);
    EXPECT_EQ(scene.accum[5803 * 3], weighted ? 4294278030u : 255u * 5803u);
    EXPECT_EQ(scene.accum[5804 * 3 + 2], weighted ? 790754u : 255u * 5804u);
  }
}

// The vector kernel reads a pixel's three bytes as four. With the source
// ending where an unreadable page starts, the rays from every light to the
// last pixels must neither fault nor differ from the reference.
TEST_P(EveryKernel, StopsReadingAtTheEndOfTheSource) {
  const AccumulationMode mode = GetParam();
  constexpr int kWidth = 13, kHeight = 7;
  const auto source = RandomPicture(kWidth, kHeight, 16);
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t mapped = (source.size() + page - 1) / page * page + page;
  void* area = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(area, MAP_FAILED);
  std::uint8_t* const guard = static_cast<std::uint8_t*>(area) + mapped - page;
  ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
  std::copy(source.begin(), source.end(), guard - source.size());
  ScopedScene picture(kWidth, kHeight, source);
  std::uint8_t* const ownSource = scene.source;
  scene.source = guard - source.size();
  for (VectorLevel level : Levels()) {
    const AtLevel atLevel(level);
    SCOPED_TRACE(LevelName(level));
    ReferenceRenderer reference(mode, kWidth, kHeight, source);
    std::fill(scene.counts, scene.counts + PixelCount(), 0);
    std::fill(scene.accum, scene.accum + PixelCount() * 3, 0u);
    for (int light = 0; light < kWidth * kHeight; ++light) {
      SetLight({light % kWidth, light / kWidth});
      for (int column = kWidth - 3; column < kWidth; ++column) {
        const RayTarget target{static_cast<std::uint32_t>(column), kHeight - 1};
        Trace(mode, &target, 1, nullptr);
        reference.TraceRay({light % kWidth, light / kWidth}, {column, kHeight - 1});
      }
    }
    EXPECT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum));
    EXPECT_TRUE(std::equal(reference.counts.begin(), reference.counts.end(), scene.counts));
  }
  scene.source = ownSource;
  munmap(area, mapped);
}

// Sums up to 2^32 - 1 over any count, 0 and 1 included, and 16-bit
// quotients that pass 2^16 with the source byte, under every kind of
// setting (strength 400 on quotients near 2^16 meets the cap): compositing
// must give what the reference gives, at every level, on quadrants a whole
// number of vectors wide or not.
TEST_P(EveryKernel, CompositesAnySumOverAnyCount) {
  const AccumulationMode mode = GetParam();
  std::mt19937 engine(5);
  auto random = [&] { return static_cast<std::uint32_t>(engine()); };
  // The last picture's quotients are all 0 to 255, as on real frames.
  for (auto [width, height, small] : {std::tuple{45, 5, false}, {64, 2, false}, {96, 6, true}}) {
    const auto source = RandomPicture(width, height, 3);
    ScopedScene picture(width, height, source);
    ReferenceRenderer reference(mode, width, height, source);
    for (std::uint16_t& count : reference.counts) {
      const std::uint32_t choices[] = {0, 1, 2, 255, 65535, random() % 64, random() % 65536};
      count = static_cast<std::uint16_t>(small ? 2 + random() % 300 : choices[random() % 7]);
    }
    for (std::size_t channel = 0; channel < reference.accum.size(); ++channel) {
      const std::uint32_t choices[] = {0, 0xFFFF, 0x1FF00, UINT32_MAX, 0x8000'0000, random() % 4096, random()};
      const std::uint32_t count = reference.counts[channel / 3];
      const std::uint32_t divisor = mode == AccumulationMode::Weighted ? count * count : count;
      reference.accum[channel] = small ? random() % 256 * divisor + random() % divisor : choices[random() % 7];
    }
    std::copy(reference.counts.begin(), reference.counts.end(), scene.counts);
    std::copy(reference.accum.begin(), reference.accum.end(), scene.accum);
    for (const LightSettings& settings : ShapedLights()) {
      reference.settings = scene.settings = settings;
      ASSERT_TRUE(UpdateEmission());
      reference.Composite();
      for (VectorLevel level : Levels()) {
        const AtLevel atLevel(level);
        std::fill(scene.output, scene.output + PixelCount() * 3, 0);
        PrepareCompositing();
        for (std::uintptr_t quadrant = 0; quadrant < 4; ++quadrant)
          (mode == AccumulationMode::Weighted ? CompositeQuadrant<AccumulationMode::Weighted>
                                              : CompositeQuadrant<AccumulationMode::Uniform>)(
              reinterpret_cast<void*>(quadrant));
        EXPECT_TRUE(std::equal(reference.output.begin(), reference.output.end(), scene.output))
            << LevelName(level) << " " << width << "x" << height << " " << SettingsName(settings);
      }
    }
  }
}

// The reference's compositing against results worked out by hand from the
// definitions, one pixel of grey (three equal channels) at a time.
TEST(ShapedLight, ComposesTheWorkedExamples) {
  struct Example {
    std::uint16_t count;
    std::uint32_t sum;
    std::uint8_t source, threshold;
    std::uint16_t strength;
    std::uint8_t tint;
    ShownView view;
    std::uint8_t output;
  } examples[] = {
      {1, 65535, 0, 0, 400, 255, ShownView::Final, 255},      // a = min(262140, 65535), tinted 65535
      {1, 65535, 1, 0, 400, 255, ShownView::Final, 0},        // 1 + 65535 wraps to 0
      {1, 65536 + 7, 3, 0, 100, 255, ShownView::Final, 10},   // only the quotient's low 16 bits
      {3, 600, 40, 0, 0, 255, ShownView::Final, 40},          // strength 0 adds nothing
      {3, 765, 9, 0, 37, 0x90, ShownView::Final, 9 + 53},     // (255 * 37 + 50) / 100 = 94, (94 * 144 + 127) / 255 = 53
      {3, 765, 9, 0, 37, 0x90, ShownView::Rays, 53},          // the same light on black
      {2, 301, 7, 0, 150, 255, ShownView::Rays, 225},         // (150 * 150 + 50) / 100 = 225.5, truncated
      {2, 301, 60, 61, 100, 255, ShownView::Emission, 0},     // luma 60 < 61: casts black
      {2, 301, 61, 61, 100, 255, ShownView::Emission, 61},    // luma 61 reaches it
  };
  for (const Example& e : examples) {
    ReferenceRenderer reference(AccumulationMode::Uniform, 1, 1, std::vector<std::uint8_t>(3, e.source));
    reference.counts[0] = e.count;
    std::fill(reference.accum.begin(), reference.accum.end(), e.sum);
    reference.settings = {e.threshold, e.strength, {e.tint, e.tint, e.tint}, e.view};
    reference.Composite();
    EXPECT_EQ(reference.output, std::vector<std::uint8_t>(3, e.output)) << e.sum << " / " << e.count;
  }
}

INSTANTIATE_TEST_SUITE_P(Modes, EveryKernel, ::testing::Values(AccumulationMode::Weighted, AccumulationMode::Uniform),
                         [](const auto& param) { return std::string(ModeName(param.param)); });

}  // namespace
