#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>

#include "renderer.h"
#include "scene_state.h"

namespace {

// A noisy picture of the given size in the global scene, light at the centre.
void SetUpScene(int width, int height) {
  ReleaseBuffers();
  scene = SceneState{};
  scene.width = static_cast<std::uint16_t>(width);
  scene.height = static_cast<std::uint16_t>(height);
  scene.source = new std::uint8_t[PixelCount() * 3];
  std::mt19937 random(1);
  for (std::size_t i = 0; i < PixelCount() * 3; ++i) scene.source[i] = static_cast<std::uint8_t>(random());
  if (!AllocateFrameBuffers()) std::abort();
  scene.lightColumn = static_cast<std::uint16_t>(width / 2);
  scene.lightRow = static_cast<std::uint16_t>(height / 2);
}

template <AccumulationMode mode>
void WholeFrameAtTheCentre(benchmark::State& state) {
  SetUpScene(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) RenderFrame<mode>();
  state.counters["ns/pixel"] = benchmark::Counter(
      static_cast<double>(PixelCount()), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  ReleaseBuffers();
}

void Sizes(benchmark::internal::Benchmark* b) {
  b->Args({640, 480})->Args({1920, 1080})->Args({3840, 2160})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(WholeFrameAtTheCentre<AccumulationMode::Weighted>)->Apply(Sizes);
BENCHMARK(WholeFrameAtTheCentre<AccumulationMode::Uniform>)->Apply(Sizes);

}  // namespace

BENCHMARK_MAIN();
