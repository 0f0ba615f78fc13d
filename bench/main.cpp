#include <benchmark/benchmark.h>

#include "bench_setup.h"

int main(int argc, char** argv) {
  // Grouped by size, so that only one size's picture and buffers are alive.
  for (PictureSize size : kSizes) {
    RegisterFloorBenchmarks(size);
    RegisterFrameBenchmarks(size);
    RegisterReferenceBenchmarks(size);
    RegisterReductionBenchmarks(size);
  }
  RegisterPngBenchmarks();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
