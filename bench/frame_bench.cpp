// The renderer's frames, and the plain reference's for comparison.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstddef>
#include <cstdint>
#include <utility>

#include "bench_setup.h"
#include "reference_renderer.h"
#include "renderer.h"
#include "scene_state.h"
#include "test_scene.h"
#include "window_link.h"

namespace {

// The frame driver's own phase times, read back from the title it sets.
struct PhaseTotals {
  double castingMs = 0;
  double compositingMs = 0;
  int frames = 0;
};
PhaseTotals phaseTotals;

void CollectPhases(void*, const char* title) {
  double frame = 0, casting = 0, compositing = 0;
  if (std::sscanf(title, "Glintor - %lf msec (%lf+%lf)", &frame, &casting, &compositing) == 3) {
    phaseTotals.castingMs += casting;
    phaseTotals.compositingMs += compositing;
    ++phaseTotals.frames;
  }
}

template <AccumulationMode mode>
void RendererFrames(benchmark::State& state, PictureSize size, LightPlace place, LightSettings settings,
                    VectorLevel level) {
  const AtLevel atLevel(level);
  ScopedScene picture(size.width, size.height, BenchPicture(size));
  scene.settings = settings;
  if (!UpdateEmission()) {
    state.SkipWithError("no memory for the emission picture");
    return;
  }
  const std::vector<Pixel> lights = LightSequence(place, size);
  const WindowOperations previous = windowOperations;
  windowOperations = {CollectPhases, nullptr};
  phaseTotals = {};
  std::size_t next = 0;
  for (auto _ : state) {
    SetLight(lights[next]);
    next = next + 1 == lights.size() ? 0 : next + 1;
    RenderFrame<mode>();
  }
  windowOperations = previous;
  const double frames = std::max(phaseTotals.frames, 1);
  state.counters["cast_ms"] = phaseTotals.castingMs / frames;
  state.counters["composite_ms"] = phaseTotals.compositingMs / frames;
}

void ReferenceFrames(benchmark::State& state, AccumulationMode mode, PictureSize size) {
  ReferenceRenderer reference(mode, size.width, size.height, BenchPicture(size));
  const Pixel light = LightSequence(LightPlace::Centre, size).front();
  for (auto _ : state) {
    reference.RenderFrame(light);
    benchmark::DoNotOptimize(reference.output.data());
    benchmark::ClobberMemory();
  }
}

// A threshold key: the emission picture made again, for each of two
// thresholds a key press apart in turn, sharp or soft.
void ThresholdChanges(benchmark::State& state, PictureSize size, std::uint8_t softness) {
  ScopedScene picture(size.width, size.height, BenchPicture(size));
  scene.settings.softness = softness;
  bool higher = false;
  for (auto _ : state) {
    scene.settings.threshold = higher ? 144 : 128;
    higher = !higher;
    if (!UpdateEmission()) {
      state.SkipWithError("no memory for the emission picture");
      break;
    }
    benchmark::DoNotOptimize(scene.emission);
    benchmark::ClobberMemory();
  }
}

// The size of the rows with the controls on.
constexpr PictureSize kShapedSize = {3840, 2160};

std::size_t Pixels(PictureSize size) {
  return static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
}

template <AccumulationMode mode>
void RegisterRendererFrames(PictureSize size) {
  for (LightPlace place : kLightPlaces) {
    const std::string name =
        std::string("Frame/") + ModeName(mode) + "/" + SizeName(size) + "/" + LightName(place);
    benchmark::internal::Benchmark* b =
        benchmark::RegisterBenchmark(name.c_str(), RendererFrames<mode>, size, place, LightSettings{},
                                     VectorLevel::Avx512)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    // Whole passes over the sequence, about as much work at every size, so
    // that every repetition renders the same frames.
    if (place == LightPlace::Moving) {
      const std::size_t passes = std::max<std::size_t>(1, 2 * Pixels({3840, 2160}) / Pixels(size));
      b->Iterations(static_cast<benchmark::IterationCount>(passes * kMovingLights));
    }
  }
  if (size.width != kShapedSize.width || size.height != kShapedSize.height) return;
  for (LightPlace place : kOutsidePlaces) {
    const std::string name =
        std::string("Frame/") + ModeName(mode) + "/" + SizeName(size) + "/" + LightName(place);
    benchmark::RegisterBenchmark(name.c_str(), RendererFrames<mode>, size, place, LightSettings{},
                                     VectorLevel::Avx512)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
  // Every control on at once: a threshold, a strength and a tint (FFC890).
  const LightSettings shaped{.threshold = 128, .strength = 150, .tint = {0x90, 0xC8, 0xFF}};
  const std::string name = std::string("Shaped/") + ModeName(mode) + "/" + SizeName(size) + "/centre";
  benchmark::RegisterBenchmark(name.c_str(), RendererFrames<mode>, size, LightPlace::Centre, shaped,
                               VectorLevel::Avx512)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  // Every control on, softness and the screen blend too, against the
  // defaults, at each vector level the processor has.
  LightSettings all = shaped;
  all.softness = 48;
  all.blend = Blend::Screen;
  for (VectorLevel level : Levels()) {
    const char* levelName = level == VectorLevel::Portable ? "portable" : level == VectorLevel::Avx2 ? "avx2" : "avx512";
    for (const auto& [kind, settings] : {std::pair{"plain", LightSettings{}}, std::pair{"all", all}}) {
      const std::string row = std::string("Levels/") + ModeName(mode) + "/" + SizeName(size) + "/" + levelName + "/" + kind;
      benchmark::RegisterBenchmark(row.c_str(), RendererFrames<mode>, size, LightPlace::Centre, settings, level)
          ->Unit(benchmark::kMillisecond)
          ->UseRealTime();
    }
  }
}

}  // namespace

void RegisterFrameBenchmarks(PictureSize size) {
  RegisterRendererFrames<AccumulationMode::Weighted>(size);
  RegisterRendererFrames<AccumulationMode::Uniform>(size);
  if (size.width != kShapedSize.width || size.height != kShapedSize.height) return;
  benchmark::RegisterBenchmark(("Threshold/" + SizeName(size) + "/soft").c_str(), ThresholdChanges, size,
                               std::uint8_t{48})
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark(("Threshold/" + SizeName(size)).c_str(), ThresholdChanges, size, std::uint8_t{0})
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}

void RegisterReferenceBenchmarks(PictureSize size) {
  for (AccumulationMode mode : {AccumulationMode::Weighted, AccumulationMode::Uniform}) {
    const std::string name = std::string("Reference/") + ModeName(mode) + "/" + SizeName(size) + "/centre";
    benchmark::internal::Benchmark* b =
        benchmark::RegisterBenchmark(name.c_str(), ReferenceFrames, mode, size)
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime();
    // Seconds per frame past 4K: a single frame keeps a full run short.
    if (Pixels(size) > Pixels({3840, 2160})) b->Iterations(1)->Repetitions(1);
  }
}
