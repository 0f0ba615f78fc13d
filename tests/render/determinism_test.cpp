#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "progress_watchdog.h"
#include "reference_renderer.h"
#include "renderer.h"
#include "test_scene.h"

// Fresh memory is garbage here, so that a buffer the renderer fails to clear
// shows. While allocationsFail is set every allocation fails, as std::thread's
// would with the memory exhausted.
bool allocationsFail = false;

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
  void* block = allocationsFail ? nullptr : std::malloc(size == 0 ? 1 : size);
  if (block == nullptr) throw std::bad_alloc();
  return std::memset(block, 0xA5, size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
#pragma GCC diagnostic pop

namespace {

struct Frames {
  AccumulationMode mode;
  int width;
  int height;
  int lights;        // corners and edges first, random ones up to this many; 0: every light in turn
  bool threadless;   // frames after the first get no memory for threads
  bool shaped;       // settings change from frame to frame, at every vector level
  bool outside;      // the light crosses the picture's edges
  bool everyLevel = false;  // at every vector level, not only the processor's best
};

// One in four random lights lies on an edge, where the quadrants are most
// unbalanced.
std::vector<Pixel> Lights(const Frames& c) {
  const int w = c.width, h = c.height;
  std::vector<Pixel> lights;
  for (int i = 0; c.lights == 0 && i < w * h; ++i) lights.push_back({i % w, i / w});
  if (c.lights == 0) return lights;
  std::mt19937 random(static_cast<std::uint32_t>(w * 131 + h));
  auto below = [&](int limit) { return static_cast<int>(random() % static_cast<std::uint32_t>(limit)); };
  if (c.outside) {
    // Inside, just past an edge, onto it, far beyond, beyond corners, the
    // ends of the range, back inside; then anywhere in the range.
    lights = {{w / 2, h / 2}, {-1, h / 2},         {0, h / 2},      {-w, h / 3},       {2 * w - 1, 2 * h - 1},
              {-w, -h},       {w / 3, -1},         {w, h / 2},      {w / 2, 2 * h - 1}, {-1, -1},
              {w, h},         {2 * w - 1, -h},     {-w, 2 * h - 1}, {w - 1, h},        {w / 4, h / 4}};
    while (static_cast<int>(lights.size()) < c.lights) lights.push_back({below(3 * w) - w, below(3 * h) - h});
    return lights;
  }
  lights = {{0, 0},         {w / 2, h / 2}, {w - 1, h - 1}, {w - 1, 0},     {0, h - 1}, {w / 2, 0},
            {0, h / 2},     {w - 1, h / 2}, {w / 2, h - 1}, {w - 2, h - 2}, {1, 1}};
  while (static_cast<int>(lights.size()) < c.lights) {
    const Pixel light{below(w), below(h)};
    const Pixel edges[4] = {{0, light.row}, {w - 1, light.row}, {light.column, 0}, {light.column, h - 1}};
    const int edge = below(16);
    lights.push_back(edge < 4 ? edges[edge] : light);
  }
  lights.resize(static_cast<std::size_t>(c.lights));
  return lights;
}

class Determinism : public ::testing::TestWithParam<Frames> {};

// Frame after frame the threaded renderer leaves byte for byte what the
// reference does, and nothing carries over from one frame to the next.
TEST_P(Determinism, EveryFrameEqualsTheReference) {
  const Frames c = GetParam();
  auto source = RandomPicture(c.width, c.height, static_cast<std::uint32_t>(c.width * c.height));
  // Pure blue 128 among the noise: a luma on the rounding's half.
  for (std::size_t i = 0; c.shaped && i < source.size(); i += 3 * 7) source[i] = 128, source[i + 1] = source[i + 2] = 0;
  const std::vector<LightSettings> shapes = ShapedLights();
  for (VectorLevel level : c.everyLevel ? Levels() : std::vector{ProcessorVectorLevel()}) {
  const AtLevel atLevel(level);
  ScopedScene picture(c.width, c.height, source);
  ReferenceRenderer reference(c.mode, c.width, c.height, source);
  const std::vector<Pixel> lights = Lights(c);
  for (std::size_t frame = 0; frame < lights.size(); ++frame) {
    const Pixel light = lights[frame];
    const LightSettings& settings = shapes[c.shaped ? frame % shapes.size() : 0];
    SCOPED_TRACE(::testing::Message() << LevelName(level) << " frame " << frame << " light " << light.column
                                      << "," << light.row << " " << SettingsName(settings));
    scene.lightColumn = light.column;
    scene.lightRow = light.row;
    reference.settings = scene.settings = settings;
    ASSERT_TRUE(UpdateEmission());
    allocationsFail = c.threadless && frame > 0;
    (c.mode == AccumulationMode::Weighted ? RenderFrame<AccumulationMode::Weighted>
                                          : RenderFrame<AccumulationMode::Uniform>)();
    allocationsFail = false;
    MadeProgress();
    reference.RenderFrame(light);
    ASSERT_EQ(scene.busy, 0);
    // No other quadrant number composites anything.
    ASSERT_EQ(CompositeQuadrant<AccumulationMode::Weighted>(reinterpret_cast<void*>(std::uintptr_t{4})), 0u);
    ASSERT_TRUE(std::equal(reference.coverage.begin(), reference.coverage.end(), scene.coverage));
    ASSERT_TRUE(std::equal(reference.counts.begin(), reference.counts.end(), scene.counts));
    ASSERT_TRUE(std::equal(reference.accum.begin(), reference.accum.end(), scene.accum));
    ASSERT_TRUE(std::equal(reference.output.begin(), reference.output.end(), scene.output));
  }
  // Whatever came before, the last frame is that of its light alone.
  ReferenceRenderer alone(c.mode, c.width, c.height, source);
  alone.settings = scene.settings;
  alone.RenderFrame(lights.back());
  ASSERT_TRUE(std::equal(alone.output.begin(), alone.output.end(), scene.output));
  }
}

// Small grids with every light; odd sizes; rings of several batches of
// kRayBatch targets shared between threads (700 x 300); the longest sequence
// in place of a soak; rays past step 5804, where Weighted sums wrap; and the
// user's settings, changing as the light moves. The kernels of every vector
// level meet the settings and lights outside on pictures of one batch a
// ring; the processor's own, the batches shared too.
std::vector<Frames> Cases() {
  std::vector<Frames> cases = {{AccumulationMode::Weighted, 5810, 2, 1, false, false, false}};
  for (AccumulationMode mode : {AccumulationMode::Weighted, AccumulationMode::Uniform}) {
    for (Frames c : {Frames{mode, 3, 2, 0, false, false, false}, Frames{mode, 16, 9, 0, false, false, false},
                     Frames{mode, 13, 11, 0, false, false, false}, Frames{mode, 257, 33, 24, false, false, false},
                     Frames{mode, 37, 180, 24, false, false, false}, Frames{mode, 700, 300, 11, false, false, false},
                     Frames{mode, 101, 103, 200, false, false, false}, Frames{mode, 45, 38, 12, true, false, false},
                     Frames{mode, 131, 67, 18, false, true, false, true},
                     Frames{mode, 97, 61, 30, false, false, true, true},
                     Frames{mode, 700, 300, 16, false, false, true}})
      cases.push_back(c);
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(PicturesAndModes, Determinism, ::testing::ValuesIn(Cases()), [](const auto& param) {
  const Frames& c = param.param;
  return std::string(ModeName(c.mode)) + "_" + std::to_string(c.width) + "x" + std::to_string(c.height) +
         (c.threadless ? "_threadless" : "") + (c.shaped ? "_shaped" : "") + (c.outside ? "_outside" : "");
});

TEST(FrameTitle, ShowsTheWorkedExamples) {
  char title[128];
  FormatTitle(title, sizeof title, 10'000'000, 5, 80'005, 100'005);
  EXPECT_STREQ(title, "Glintor - 10.000 msec (8.000+2.000) - 100.000 fps");
  FormatTitle(title, sizeof title, 1'000'000'000, 0, 1'234'567, 2'000'000);
  EXPECT_STREQ(title, "Glintor - 2.000 msec (1.235+0.765) - 500.000 fps");
  FormatTitle(title, sizeof title, 10'000'000, 7, 7, 7);  // no ticks: an infinite rate
  EXPECT_STREQ(title, "Glintor - 0.000 msec (0.000+0.000) -   inf fps");
  // The settings that differ from the defaults follow, in a fixed order.
  FormatSettings(title, sizeof title, {176, 60, {0x90, 0xC8, 0xFF}, ShownView::Rays});
  EXPECT_STREQ(title, " - threshold 176, strength 60%, tint FFC890, view rays");
  FormatSettings(title, sizeof title, {0, 100, {255, 255, 254}, ShownView::Emission});
  EXPECT_STREQ(title, " - tint FEFFFF, view emission");
  FormatSettings(title, sizeof title, LightSettings{});
  EXPECT_STREQ(title, "");
}

}  // namespace
