// The least a frame's memory traffic can cost: each phase's bytes streamed
// once in address order on four threads started per frame, as the renderer
// does, with no ray geometry at all.

#include <benchmark/benchmark.h>
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <thread>

#include "bench_setup.h"

namespace {

constexpr int kThreads = 4;
constexpr std::size_t kHugePage = std::size_t{2} << 20;

struct FreeDeleter {
  void operator()(void* memory) const { std::free(memory); }
};

// Zero-filled, on huge pages where the kernel grants them, and touched once
// here so that no page fault lands in a timed frame.
template <typename T>
std::unique_ptr<T[], FreeDeleter> StreamBuffer(std::size_t count) {
  const std::size_t bytes = (count * sizeof(T) + kHugePage - 1) / kHugePage * kHugePage;
  void* memory = std::aligned_alloc(kHugePage, bytes);
  if (memory == nullptr) throw std::bad_alloc();
  madvise(memory, bytes, MADV_HUGEPAGE);
  std::memset(memory, 0, bytes);
  return std::unique_ptr<T[], FreeDeleter>(static_cast<T*>(memory));
}

struct FrameBytes {
  explicit FrameBytes(std::size_t pixels_)
      : pixels(pixels_),
        source(StreamBuffer<std::uint8_t>(pixels_ * 3)),
        coverage(StreamBuffer<std::uint8_t>(pixels_)),
        accum(StreamBuffer<std::uint32_t>(pixels_ * 3)),
        counts(StreamBuffer<std::uint16_t>(pixels_)),
        output(StreamBuffer<std::uint8_t>(pixels_ * 3)) {
    for (std::size_t i = 0; i < pixels * 3; ++i) source[i] = static_cast<std::uint8_t>(i * 7);
  }
  std::size_t pixels;
  std::unique_ptr<std::uint8_t[], FreeDeleter> source, coverage;
  std::unique_ptr<std::uint32_t[], FreeDeleter> accum;
  std::unique_ptr<std::uint16_t[], FreeDeleter> counts;
  std::unique_ptr<std::uint8_t[], FreeDeleter> output;
};

// Casting's bytes: clear coverage, then per pixel read source 3 B and write
// coverage 1 B, counts 2 B and accum 12 B.
void CastSlice(FrameBytes& bytes, std::size_t begin, std::size_t end) {
  std::memset(bytes.coverage.get() + begin, 0, end - begin);
  // Keeps the clear from being folded into the writes below.
  benchmark::ClobberMemory();
  std::uint8_t* coverage = bytes.coverage.get();
  std::uint16_t* counts = bytes.counts.get();
  for (std::size_t p = begin; p < end; ++p) {
    coverage[p] = 1;
    counts[p] = static_cast<std::uint16_t>(p);
  }
  const std::uint8_t* source = bytes.source.get();
  std::uint32_t* accum = bytes.accum.get();
  for (std::size_t i = begin * 3; i < end * 3; ++i) accum[i] = source[i] + static_cast<std::uint32_t>(i);
}

// Compositing's bytes: per pixel read accum 12 B, counts 2 B and source 3 B,
// write output 3 B. The sum of the counts is kept so that reading them stays.
void CompositeSlice(FrameBytes& bytes, std::size_t begin, std::size_t end) {
  const std::uint8_t* source = bytes.source.get();
  const std::uint32_t* accum = bytes.accum.get();
  std::uint8_t* output = bytes.output.get();
  for (std::size_t i = begin * 3; i < end * 3; ++i)
    output[i] = static_cast<std::uint8_t>(source[i] + (accum[i] >> 4));
  const std::uint16_t* counts = bytes.counts.get();
  std::uint32_t countSum = 0;
  for (std::size_t p = begin; p < end; ++p) countSum += counts[p];
  benchmark::DoNotOptimize(countSum);
}

template <void (*slice)(FrameBytes&, std::size_t, std::size_t)>
void StreamFrames(benchmark::State& state, PictureSize size) {
  FrameBytes bytes(static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height));
  for (auto _ : state) {
    std::thread threads[kThreads];
    for (int t = 0; t < kThreads; ++t) {
      const std::size_t begin = bytes.pixels * static_cast<std::size_t>(t) / kThreads;
      const std::size_t end = bytes.pixels * static_cast<std::size_t>(t + 1) / kThreads;
      threads[t] = std::thread(slice, std::ref(bytes), begin, end);
    }
    for (std::thread& thread : threads) thread.join();
    benchmark::ClobberMemory();
  }
}

}  // namespace

void RegisterFloorBenchmarks(PictureSize size) {
  benchmark::RegisterBenchmark(("Floor/cast/" + SizeName(size)).c_str(), StreamFrames<CastSlice>, size)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
  benchmark::RegisterBenchmark(("Floor/composite/" + SizeName(size)).c_str(), StreamFrames<CompositeSlice>, size)
      ->Unit(benchmark::kMillisecond)
      ->UseRealTime();
}
