// The reduction that shows a picture larger than the screen: its exact frame
// is rendered at full size, then reduced.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "reduction.h"

namespace {

void Reduce(benchmark::State& state, PictureSize from, PictureSize to) {
  const std::vector<std::uint8_t>& picture = BenchPicture(from);
  std::vector<std::uint8_t> screen(std::size_t{3} * static_cast<std::size_t>(to.width) *
                                   static_cast<std::size_t>(to.height));
  for (auto _ : state) {
    if (!ReducePicture(picture.data(), static_cast<std::uint32_t>(from.width),
                       static_cast<std::uint32_t>(from.height), screen.data(),
                       static_cast<std::uint32_t>(to.width), static_cast<std::uint32_t>(to.height))) {
      state.SkipWithError("no memory for the reduction");
      break;
    }
    benchmark::DoNotOptimize(screen.data());
    benchmark::ClobberMemory();
  }
}

}  // namespace

void RegisterReductionBenchmarks(PictureSize size) {
  for (const Reduction& reduction : kReductions) {
    if (reduction.from.width != size.width || reduction.from.height != size.height) continue;
    const std::string name = "Reduce/" + SizeName(reduction.from) + "/" + SizeName(reduction.to);
    benchmark::RegisterBenchmark(name.c_str(), Reduce, reduction.from, reduction.to)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime();
  }
}
