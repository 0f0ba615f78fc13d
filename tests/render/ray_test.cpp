#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "ray_kernels.h"
#include "reference_renderer.h"
#include "renderer.h"
#include "scene_state.h"
#include "test_scene.h"

namespace {

constexpr AccumulationMode kModes[] = {AccumulationMode::Weighted, AccumulationMode::Uniform};

std::size_t IndexOf(Pixel p) {
  return static_cast<std::size_t>(p.row) * scene.width + static_cast<std::size_t>(p.column);
}

// The covered pixels of the scene, ordered by the step index the ray gave them.
std::vector<Pixel> CoveredInStepOrder() {
  std::vector<std::pair<int, Pixel>> covered;
  for (int row = 0; row < scene.height; ++row)
    for (int column = 0; column < scene.width; ++column)
      if (scene.coverage[IndexOf({column, row})] != 0)
        covered.push_back({scene.counts[IndexOf({column, row})], {column, row}});
  std::sort(covered.begin(), covered.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::vector<Pixel> pixels;
  for (auto& [count, pixel] : covered) pixels.push_back(pixel);
  return pixels;
}

struct WorkedWalk {
  Pixel target;  // relative to the light
  std::vector<Pixel> written;
};

TEST(TraceRay, WalksTheWorkedLinesPixelByPixel) {
  const std::vector<WorkedWalk> walks = {
      {{-5, 0}, {{-1, 0}, {-2, 0}, {-3, 0}, {-4, 0}, {-5, 0}}},
      {{0, 3}, {{0, 1}, {0, 2}, {0, 3}}},
      {{4, 4}, {{1, 1}, {2, 2}, {3, 3}, {4, 4}}},
      {{5, 2}, {{1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 2}}},
      {{3, -7}, {{0, -1}, {0, -2}, {1, -3}, {1, -4}, {2, -5}, {2, -6}, {3, -7}}},
      // Minor steps come as late as possible: the light's row up to +9.
      {{10, 1}, {{1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}, {7, 0}, {8, 0}, {9, 0}, {10, 1}}},
  };
  const Pixel light{12, 12};
  for (const WorkedWalk& walk : walks) {
    SCOPED_TRACE(::testing::Message() << "target " << walk.target.column << "," << walk.target.row);
    std::vector<Pixel> expected;
    for (Pixel p : walk.written) expected.push_back({light.column + p.column, light.row + p.row});
    const Pixel target{light.column + walk.target.column, light.row + walk.target.row};
    EXPECT_EQ(ReferenceRayPixels(light, target), expected);
    for (AccumulationMode mode : kModes) {
      ScopedScene picture(25, 25, RandomPicture(25, 25, 1));
      SetLight(light);
      TraceRayIn(mode, target);
      EXPECT_EQ(CoveredInStepOrder(), expected) << ModeName(mode);
    }
  }
}

TEST(TraceRay, AccumulatesEachModesSumsAlongTheRay) {
  ScopedScene picture(30, 20, RandomPicture(30, 20, 2));
  const Pixel light{4, 15};
  const Pixel target{27, 2};
  const std::vector<Pixel> pixels = ReferenceRayPixels(light, target);
  for (AccumulationMode mode : kModes) {
    SetLight(light);
    TraceRayIn(mode, target);
    std::uint32_t sums[3] = {0, 0, 0};
    for (std::size_t k = 0; k < pixels.size(); ++k) {
      const std::size_t index = IndexOf(pixels[k]);
      const auto step = static_cast<std::uint32_t>(k + 1);
      EXPECT_EQ(scene.counts[index], step);
      for (std::size_t c = 0; c < 3; ++c) {
        const std::uint32_t sample = scene.source[index * 3 + c];
        sums[c] += mode == AccumulationMode::Weighted ? sample * step : sample;
        EXPECT_EQ(scene.accum[index * 3 + c], sums[c]) << ModeName(mode) << " step " << step;
      }
    }
  }
}

TEST(TraceRay, WritesNothingWhenTheTargetIsTheLight) {
  ScopedScene picture(9, 9, RandomPicture(9, 9, 3));
  SetLight({4, 4});
  TraceRayIn(AccumulationMode::Weighted, {4, 4});
  EXPECT_TRUE(std::all_of(scene.coverage, scene.coverage + PixelCount(), [](auto b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(scene.counts, scene.counts + PixelCount(), [](auto b) { return b == 0; }));
}

// Every ray from several lights, each checked against the reference model
// right after it, on top of whatever the earlier rays left behind.
TEST(TraceRay, MatchesTheReferenceForEveryTargetOfAGrid) {
  constexpr int kWidth = 23, kHeight = 17;
  const auto source = RandomPicture(kWidth, kHeight, 4);
  for (AccumulationMode mode : kModes) {
    ScopedScene picture(kWidth, kHeight, source);
    ReferenceRenderer reference(mode, kWidth, kHeight, source);
    for (Pixel light : {Pixel{0, 0}, Pixel{11, 8}, Pixel{22, 3}, Pixel{5, 16}}) {
      SetLight(light);
      for (int row = 0; row < kHeight; ++row) {
        for (int column = 0; column < kWidth; ++column) {
          TraceRayIn(mode, {column, row});
          reference.TraceRay(light, {column, row});
          ASSERT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum))
              << ModeName(mode) << " light " << light.column << "," << light.row << " target "
              << column << "," << row;
          ASSERT_TRUE(std::equal(reference.counts.begin(), reference.counts.end(), scene.counts));
          ASSERT_TRUE(std::equal(reference.coverage.begin(), reference.coverage.end(), scene.coverage));
        }
      }
    }
  }
}

// 255 * 5803 * 5804 / 2 still fits in 32 bits; one step further wraps.
TEST(TraceRay, WeightedSumsWrapModulo2To32FromStep5804) {
  constexpr int kWidth = 5805;
  const std::vector<std::uint8_t> white(static_cast<std::size_t>(kWidth) * 3, 255);
  for (AccumulationMode mode : kModes) {
    ScopedScene picture(kWidth, 1, white);
    SetLight({0, 0});
    TraceRayIn(mode, {kWidth - 1, 0});
    EXPECT_EQ(scene.counts[5804], 5804);
    if (mode == AccumulationMode::Weighted) {
      EXPECT_EQ(scene.accum[5803 * 3], 4294278030u);
      EXPECT_EQ(scene.accum[5804 * 3], 790754u);
      EXPECT_EQ(scene.accum[5804 * 3 + 2], 790754u);
    } else {
      EXPECT_EQ(scene.accum[5804 * 3], 255u * 5804u);
    }
  }
}

using BatchKernel = void (*)(const RayTarget*, int, const RayTarget*);
struct Kernel {
  std::string name;
  BatchKernel weighted;
  BatchKernel uniform;
};

// Every kernel this processor can run on the current scene.
std::vector<Kernel> UsableKernels() {
  std::vector<Kernel> kernels = {{"scalar", TraceRaysScalar<AccumulationMode::Weighted>,
                                  TraceRaysScalar<AccumulationMode::Uniform>}};
#if GLINTOR_HAS_AVX2_KERNEL
  if (Avx2KernelUsable())
    kernels.push_back({"AVX2", TraceRaysAvx2<AccumulationMode::Weighted>, TraceRaysAvx2<AccumulationMode::Uniform>});
#endif
  return kernels;
}

void TraceWith(const Kernel& kernel, AccumulationMode mode, const RayTarget* targets, int count,
               const RayTarget* following) {
  (mode == AccumulationMode::Weighted ? kernel.weighted : kernel.uniform)(targets, count, following);
}

// The targets of one ring of a casting routine in visiting order, a third
// of them left out as covered ones would be.
std::vector<RayTarget> RingTargets(Quadrant quadrant, int ring, std::mt19937& random) {
  std::vector<RayTarget> targets;
  int k = 0;
  auto visit = [&](std::int32_t column, std::int32_t row, std::size_t) {
    if (k == ring && random() % 3 != 0)
      targets.push_back({static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row)});
  };
  WalkIn(quadrant, visit, [&] { ++k; });
  return targets;
}

// A ring of any routine from any light, cut into batches of any size and
// traced last batch first over buffers full of leftovers: each kernel must
// leave exactly what tracing the ring's rays one after another leaves.
TEST(TraceRays, EveryKernelMatchesTheRaysTracedOneAfterAnother) {
  std::mt19937 random(11);
  auto below = [&](int limit) { return static_cast<int>(random() % static_cast<std::uint32_t>(limit)); };
  for (auto [width, height] : {std::pair{2, 3}, {7, 5}, {64, 48}, {257, 33}, {33, 257}, {700, 20}}) {
    const auto source = RandomPicture(width, height, static_cast<std::uint32_t>(width * height));
    for (AccumulationMode mode : kModes) {
      ScopedScene picture(width, height, source);
      for (int trial = 0; trial < 12; ++trial) {
        const Pixel light = trial == 0 ? Pixel{0, 0} : Pixel{below(width), below(height)};
        SetLight(light);
        for (Quadrant quadrant : kQuadrants) {
          const std::vector<RayTarget> ring = RingTargets(quadrant, trial % 3 == 2 ? 1 + below(3) : 0, random);
          const int size = static_cast<int>(ring.size());
          std::vector<int> starts;
          for (int first = 0; first < size; first += below(2) == 0 ? kRayBatch : 1 + below(kRayBatch))
            starts.push_back(first);

          ReferenceRenderer reference(mode, width, height, source);
          for (std::uint8_t& byte : reference.coverage) byte = static_cast<std::uint8_t>(below(2));
          for (std::uint16_t& count : reference.counts) count = static_cast<std::uint16_t>(random());
          for (std::uint32_t& sum : reference.accum) sum = static_cast<std::uint32_t>(random());
          const auto leftovers = reference;
          for (RayTarget target : ring)
            reference.TraceRay(light, {static_cast<int>(target.column), static_cast<int>(target.row)});

          for (const Kernel& kernel : UsableKernels()) {
            std::copy(leftovers.coverage.begin(), leftovers.coverage.end(), scene.coverage);
            std::copy(leftovers.counts.begin(), leftovers.counts.end(), scene.counts);
            std::copy(leftovers.accum.begin(), leftovers.accum.end(), scene.accum);
            for (std::size_t b = starts.size(); b-- > 0;) {
              const int end = b + 1 < starts.size() ? starts[b + 1] : size;
              TraceWith(kernel, mode, &ring[static_cast<std::size_t>(starts[b])], end - starts[b],
                        end < size ? &ring[static_cast<std::size_t>(end)] : nullptr);
            }
            SCOPED_TRACE(::testing::Message() << kernel.name << " " << ModeName(mode) << " " << width << "x"
                                              << height << " trial " << trial << " routine "
                                              << static_cast<int>(quadrant));
            ASSERT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum));
            ASSERT_TRUE(std::equal(reference.counts.begin(), reference.counts.end(), scene.counts));
            ASSERT_TRUE(std::equal(reference.coverage.begin(), reference.coverage.end(), scene.coverage));
          }
        }
      }
    }
  }
}

// The vector kernels read a pixel's three bytes as four. With the source
// ending where an unreadable page starts, the rays from every light to the
// last pixels must neither fault nor differ from the reference.
TEST(TraceRays, EveryKernelStopsReadingAtTheEndOfTheSource) {
  constexpr int kWidth = 13, kHeight = 7;
  const auto source = RandomPicture(kWidth, kHeight, 16);
  const auto page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t mapped = (source.size() + page - 1) / page * page + page;
  void* area = mmap(nullptr, mapped, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(area, MAP_FAILED);
  std::uint8_t* const guard = static_cast<std::uint8_t*>(area) + mapped - page;
  ASSERT_EQ(mprotect(guard, page, PROT_NONE), 0);
  std::copy(source.begin(), source.end(), guard - source.size());
  for (AccumulationMode mode : kModes) {
    ScopedScene picture(kWidth, kHeight, source);
    std::uint8_t* const ownSource = scene.source;
    scene.source = guard - source.size();
    for (const Kernel& kernel : UsableKernels()) {
      ReferenceRenderer reference(mode, kWidth, kHeight, source);
      std::fill(scene.counts, scene.counts + PixelCount(), 0);
      std::fill(scene.accum, scene.accum + PixelCount() * 3, 0u);
      for (int light = 0; light < kWidth * kHeight; ++light) {
        SetLight({light % kWidth, light / kWidth});
        for (int column = kWidth - 3; column < kWidth; ++column) {
          const RayTarget target{static_cast<std::uint32_t>(column), kHeight - 1};
          TraceWith(kernel, mode, &target, 1, nullptr);
          reference.TraceRay({light % kWidth, light / kWidth}, {column, kHeight - 1});
        }
      }
      EXPECT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum)) << kernel.name;
      EXPECT_TRUE(std::equal(reference.counts.begin(), reference.counts.end(), scene.counts)) << kernel.name;
    }
    scene.source = ownSource;
  }
  munmap(area, mapped);
}

}  // namespace
