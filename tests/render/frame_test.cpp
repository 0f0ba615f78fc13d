#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <ostream>
#include <random>
#include <cstdio>
#include <string>
#include <vector>

#include "reference_renderer.h"
#include "renderer.h"
#include "scene_state.h"
#include "test_scene.h"
#include "window_link.h"

// While set, every allocation fails, as it would for std::thread with the
// memory exhausted.
bool allocationsFail = false;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  void* block = allocationsFail ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace {

constexpr AccumulationMode kModes[] = {AccumulationMode::Weighted, AccumulationMode::Uniform};

std::string Title(std::int64_t frequency, std::int64_t start, std::int64_t castEnd, std::int64_t end) {
  char buffer[128];
  FormatTitle(buffer, sizeof buffer, frequency, start, castEnd, end);
  return buffer;
}

TEST(FrameTitle, FormatsTheThreeTimesAndTheFrameRate) {
  EXPECT_EQ(Title(10'000'000, 5, 80'005, 100'005), "Glintor - 10.000 msec (8.000+2.000) - 100.000 fps");
  EXPECT_EQ(Title(1'000'000'000, 0, 1'234'567, 2'000'000), "Glintor - 2.000 msec (1.235+0.765) - 500.000 fps");
}

TEST(FrameTitle, ZeroTickFramePrintsAnInfiniteRate) {
  EXPECT_EQ(Title(10'000'000, 7, 7, 7), "Glintor - 0.000 msec (0.000+0.000) -   inf fps");
}

TEST(FrameTitle, NeverWritesPastTheBuffer) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  FormatTitle(buffer, 10, 10'000'000, 0, 80'000, 100'000);
  EXPECT_STREQ(buffer, "Glintor -");
  EXPECT_EQ(std::string(buffer + 10, 6), "######");
}

struct WindowCalls {
  std::vector<std::string> titles;
  int repaints = 0;
  void* lastWindow = nullptr;
};
WindowCalls windowCalls;

TEST(RenderFrame, SetsTheTitleRequestsARepaintAndClearsBusy) {
  ScopedScene picture(31, 20, RandomPicture(31, 20, 12));
  int window = 0;
  scene.window = &window;
  windowCalls = {};
  windowOperations.setTitle = [](void* w, const char* text) {
    windowCalls.titles.push_back(text);
    windowCalls.lastWindow = w;
    EXPECT_EQ(scene.busy, 1);
  };
  windowOperations.requestRepaint = [](void* w) {
    ++windowCalls.repaints;
    EXPECT_EQ(w, windowCalls.lastWindow);
  };
  RenderFrameIn(AccumulationMode::Weighted);
  RenderFrameIn(AccumulationMode::Uniform);
  windowOperations = {};

  EXPECT_EQ(scene.busy, 0);
  ASSERT_EQ(windowCalls.titles.size(), 2u);
  EXPECT_EQ(windowCalls.repaints, 2);
  EXPECT_EQ(windowCalls.lastWindow, &window);
  for (const std::string& title : windowCalls.titles) {
    // The title must read back as the format it was written with.
    double frame = -1, casting = -1, compositing = -1, rate = -1;
    char fps[4] = {};
    ASSERT_EQ(std::sscanf(title.c_str(), "Glintor - %lf msec (%lf+%lf) - %lf %3s", &frame, &casting,
                          &compositing, &rate, fps), 5)
        << title;
    EXPECT_STREQ(fps, "fps");
    EXPECT_GE(casting, 0.0);
    EXPECT_GE(compositing, 0.0);
    EXPECT_NEAR(frame, casting + compositing, 0.0015) << title;
    char again[128];
    std::snprintf(again, sizeof again, "Glintor - %5.3f msec (%5.3f+%5.3f) - %5.3f fps", frame, casting,
                  compositing, rate);
    EXPECT_EQ(title, again);
  }
}

TEST(RenderFrame, RunsHeadlessAndSetsTheLightIndex) {
  ScopedScene picture(12, 9, RandomPicture(12, 9, 13));
  scene.lightColumn = 11;
  scene.lightRow = 8;
  scene.lightIndex = 0;
  RenderFrameIn(AccumulationMode::Uniform);
  EXPECT_EQ(scene.lightIndex, 12u * 9u - 1u);
  EXPECT_EQ(scene.busy, 0);
}

// After a frame every covered pixel's count is its Chebyshev distance from
// the light.
void ExpectCountsAreChebyshevDistances() {
  for (int row = 0; row < scene.height; ++row) {
    for (int column = 0; column < scene.width; ++column) {
      const std::size_t index = static_cast<std::size_t>(row) * scene.width + static_cast<std::size_t>(column);
      if (scene.coverage[index] == 0) continue;
      const int distance = std::max(std::abs(column - scene.lightColumn), std::abs(row - scene.lightRow));
      ASSERT_EQ(scene.counts[index], distance) << column << "," << row;
    }
  }
}

// Light positions worth trying on a picture: centre, corners, edge
// midpoints, the pixels next to the corners, and random ones.
std::vector<Pixel> LightSequence(int w, int h, std::uint32_t seed, int randomCount) {
  std::vector<Pixel> lights = {{w / 2, h / 2}, {0, 0},         {w - 1, 0},     {0, h - 1},
                               {w - 1, h - 1}, {w / 2, 0},     {0, h / 2},     {w - 1, h / 2},
                               {w / 2, h - 1}, {1, 1},         {w - 2, h - 2}, {w / 2, h / 2}};
  std::mt19937 random(seed);
  for (int i = 0; i < randomCount; ++i)
    lights.push_back({static_cast<int>(random() % static_cast<std::uint32_t>(w)),
                      static_cast<int>(random() % static_cast<std::uint32_t>(h))});
  return lights;
}

struct DeterminismCase {
  AccumulationMode mode;
  int width;
  int height;
};

void PrintTo(const DeterminismCase& c, std::ostream* out) {
  *out << ModeName(c.mode) << " " << c.width << "x" << c.height;
}

class RenderFrameDeterminism : public ::testing::TestWithParam<DeterminismCase> {};

// The threaded renderer, frame after frame, gives byte for byte what the
// single-threaded reference gives, including what carries over from frame
// to frame at pixels a frame does not reach.
TEST_P(RenderFrameDeterminism, MatchesTheReferenceFrameAfterFrame) {
  const DeterminismCase c = GetParam();
  const auto source = RandomPicture(c.width, c.height, static_cast<std::uint32_t>(c.width * 131 + c.height));
  ScopedScene picture(c.width, c.height, source);
  ReferenceRenderer reference(c.mode, c.width, c.height, source);
  int frame = 0;
  for (Pixel light : LightSequence(c.width, c.height, static_cast<std::uint32_t>(c.width + c.height), 24)) {
    SCOPED_TRACE(::testing::Message() << "frame " << frame++ << " light " << light.column << "," << light.row);
    scene.lightColumn = static_cast<std::uint16_t>(light.column);
    scene.lightRow = static_cast<std::uint16_t>(light.row);
    RenderFrameIn(c.mode);
    reference.RenderFrame(light);
    ASSERT_TRUE(std::equal(reference.coverage.begin(), reference.coverage.end(), scene.coverage));
    ASSERT_TRUE(std::equal(reference.counts.begin(), reference.counts.end(), scene.counts));
    ASSERT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum));
    ASSERT_TRUE(std::equal(reference.output.begin(), reference.output.end(), scene.output));
    ExpectCountsAreChebyshevDistances();
  }
}

std::vector<DeterminismCase> DeterminismCases() {
  const std::pair<int, int> sizes[] = {{8, 6}, {7, 5}, {2, 3}, {64, 48}, {101, 100}, {100, 101}, {257, 33}, {37, 180}};
  std::vector<DeterminismCase> cases;
  for (AccumulationMode mode : kModes)
    for (auto [w, h] : sizes) cases.push_back({mode, w, h});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(PicturesAndModes, RenderFrameDeterminism, ::testing::ValuesIn(DeterminismCases()),
                         [](const auto& param) {
                           return std::string(ModeName(param.param.mode)) + "_" + std::to_string(param.param.width) +
                                  "x" + std::to_string(param.param.height);
                         });

// Every light position of small grids, one frame after another.
TEST(RenderFrame, MatchesTheReferenceForEveryLightOfSmallGrids) {
  for (AccumulationMode mode : kModes) {
    for (auto [w, h] : {std::pair{13, 11}, std::pair{16, 9}, std::pair{9, 20}}) {
      const auto source = RandomPicture(w, h, static_cast<std::uint32_t>(w * h));
      ScopedScene picture(w, h, source);
      ReferenceRenderer reference(mode, w, h, source);
      for (int row = 0; row < h; ++row) {
        for (int column = 0; column < w; ++column) {
          scene.lightColumn = static_cast<std::uint16_t>(column);
          scene.lightRow = static_cast<std::uint16_t>(row);
          RenderFrameIn(mode);
          reference.RenderFrame({column, row});
          ASSERT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum))
              << ModeName(mode) << " " << w << "x" << h << " light " << column << "," << row;
          ASSERT_TRUE(std::equal(reference.output.begin(), reference.output.end(), scene.output));
        }
      }
    }
  }
}

// Workers that get no thread for lack of memory run on the calling thread;
// the frame is the same and nothing ends the program.
TEST(RenderFrame, WithoutMemoryForThreadsRendersOnTheCallingThread) {
  for (AccumulationMode mode : kModes) {
    const auto source = RandomPicture(45, 38, 15);
    ScopedScene picture(45, 38, source);
    ReferenceRenderer reference(mode, 45, 38, source);
    RenderFrameIn(mode);  // whatever the renderer sets up once is there
    reference.RenderFrame({22, 19});
    for (Pixel light : {Pixel{22, 19}, Pixel{0, 37}}) {
      SetLight(light);
      allocationsFail = true;
      RenderFrameIn(mode);
      allocationsFail = false;
      reference.RenderFrame(light);
      ASSERT_TRUE(std::equal(reference.output.begin(), reference.output.end(), scene.output)) << ModeName(mode);
    }
  }
}

// A 4K frame renders headless and matches the reference.
TEST(RenderFrame, Renders3840x2160Headless) {
  constexpr int kWidth = 3840, kHeight = 2160;
  const auto source = RandomPicture(kWidth, kHeight, 14);
  ScopedScene picture(kWidth, kHeight, source);
  ReferenceRenderer reference(AccumulationMode::Weighted, kWidth, kHeight, source);
  for (Pixel light : {Pixel{kWidth / 2, kHeight / 2}, Pixel{17, 2100}}) {
    scene.lightColumn = static_cast<std::uint16_t>(light.column);
    scene.lightRow = static_cast<std::uint16_t>(light.row);
    RenderFrameIn(AccumulationMode::Weighted);
    reference.RenderFrame(light);
    ASSERT_TRUE(std::equal(reference.output.begin(), reference.output.end(), scene.output));
    ASSERT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum));
  }
}

}  // namespace
