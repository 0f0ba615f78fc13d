#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "renderer.h"
#include "scene_state.h"

namespace {

// |delta| as an unsigned 16-bit value; -32768 gives 32768.
std::uint16_t Magnitude(std::int16_t delta) {
  return static_cast<std::uint16_t>(delta < 0 ? -std::int32_t{delta} : std::int32_t{delta});
}

// Rays of two casting threads can meet on the light's row and column, where
// they store identical values; relaxed atomics make that well defined.
template <typename T>
void StoreShared(T& element, T value) {
  std::atomic_ref<T>(element).store(value, std::memory_order_relaxed);
}

// Asks for the cache line holding an address that may lie outside the
// buffers; a prefetch never faults.
inline void Prefetch(const void* base, std::ptrdiff_t byteOffset, bool forWriting) {
  const auto address = reinterpret_cast<const void*>(reinterpret_cast<std::uintptr_t>(base) +
                                                     static_cast<std::uintptr_t>(byteOffset));
  if (forWriting) {
    __builtin_prefetch(address, 1);
  } else {
    __builtin_prefetch(address, 0);
  }
}

// One ray's walk: the pixel index moves by precomputed steps only.
struct RayWalk {
  std::ptrdiff_t position;
  std::ptrdiff_t majorStep;
  std::ptrdiff_t minorStep;
  std::ptrdiff_t blockAhead;  // about where the ray will be one block of steps on
  std::int32_t error;
  std::int32_t minorLength;  // m
  std::uint32_t length;      // n, the number of steps
  std::uint32_t sums[3];
};

RayWalk StartWalk(RayTarget target) {
  const auto columnDelta =
      static_cast<std::int16_t>(static_cast<std::uint16_t>(target.column - scene.lightColumn));
  const auto rowDelta =
      static_cast<std::int16_t>(static_cast<std::uint16_t>(target.row - scene.lightRow));
  const std::uint16_t columnLength = Magnitude(columnDelta);
  const std::uint16_t rowLength = Magnitude(rowDelta);
  const std::ptrdiff_t columnStep = columnDelta < 0 ? -1 : 1;
  const std::ptrdiff_t rowStep =
      rowDelta < 0 ? -std::ptrdiff_t{scene.width} : std::ptrdiff_t{scene.width};
  // Ties make rows the major axis. The error starts at 0, not n / 2: minor
  // steps come as late as possible.
  const bool columnsMajor = columnLength > rowLength;
  RayWalk walk{};
  walk.position = scene.lightIndex;
  walk.length = columnsMajor ? columnLength : rowLength;
  walk.minorLength = columnsMajor ? rowLength : columnLength;
  walk.majorStep = columnsMajor ? columnStep : rowStep;
  walk.minorStep = columnsMajor ? rowStep : columnStep;
  if (walk.length > 0) {
    walk.blockAhead = std::ptrdiff_t{kStepBlock} * walk.majorStep +
                      std::ptrdiff_t{kStepBlock} * walk.minorLength / walk.length * walk.minorStep;
  }
  return walk;
}

}  // namespace

// Every ray that passes a pixel reaches it at the same step, the pixel's
// distance from the light, and rays to targets of one ring never pass each
// other's targets. So the rays of a batch can be walked a block of steps at
// a time, ray after ray within the block: every pixel still ends with the
// values of the last ray through it, exactly as tracing the rays one after
// another, while the lines that one ray's block loads serve its neighbours'.
template <AccumulationMode mode>
void TraceRays(const RayTarget* targets, int count) {
  RayWalk walks[kRayBatch];
  std::uint32_t longest = 0;
  for (int k = 0; k < count; ++k) {
    walks[k] = StartWalk(targets[k]);
    longest = std::max(longest, walks[k].length);
  }
  // Locals, so that the shared stores cannot make the compiler reload them.
  std::uint8_t* const coverage = scene.coverage;
  std::uint16_t* const counts = scene.counts;
  std::uint32_t* const accum = scene.accum;
  const std::uint8_t* const source = scene.source;

  for (std::uint32_t first = 1; first <= longest; first += kStepBlock) {
    for (int k = 0; k < count; ++k) {
      RayWalk& walk = walks[k];
      if (walk.length < first) continue;
      const std::uint32_t last = std::min(walk.length, first + kStepBlock - 1);
      const auto length = static_cast<std::int32_t>(walk.length);
      const std::int32_t minorLength = walk.minorLength;
      const std::ptrdiff_t majorStep = walk.majorStep;
      const std::ptrdiff_t minorStep = walk.minorStep;
      std::ptrdiff_t position = walk.position;
      std::int32_t error = walk.error;
      const std::ptrdiff_t blockAhead = walk.blockAhead;
      std::uint32_t blue = walk.sums[0], green = walk.sums[1], red = walk.sums[2];
      for (std::uint32_t i = first; i <= last; ++i) {
        position += majorStep;
        error += minorLength;
        if (error >= length) {
          position += minorStep;
          error -= length;
        }
        // Weighted sums wrap modulo 2^32 on very long bright rays.
        const std::uint32_t weight = mode == AccumulationMode::Weighted ? i : 1;
        const std::uint8_t* sample = source + position * 3;
        blue += sample[0] * weight;
        green += sample[1] * weight;
        red += sample[2] * weight;
        // The lines of this ray's next block, fetched while the other rays of
        // the batch take their turn: the walk's scattered stores would
        // otherwise wait on memory one miss at a time.
        const std::ptrdiff_t later = position + blockAhead;
        Prefetch(coverage, later, true);
        Prefetch(counts, later * 2, true);
        Prefetch(accum, later * 12, true);
        Prefetch(source, later * 3, false);
        StoreShared<std::uint8_t>(coverage[position], 1);
        StoreShared(counts[position], static_cast<std::uint16_t>(i));
        std::uint32_t* sum = accum + position * 3;
        StoreShared(sum[0], blue);
        StoreShared(sum[1], green);
        StoreShared(sum[2], red);
      }
      walk.position = position;
      walk.error = error;
      walk.sums[0] = blue;
      walk.sums[1] = green;
      walk.sums[2] = red;
    }
  }
}

template <AccumulationMode mode>
void TraceRay(std::uint32_t targetColumn, std::uint32_t targetRow) {
  const RayTarget target{targetColumn, targetRow};
  TraceRays<mode>(&target, 1);
}

template void TraceRays<AccumulationMode::Weighted>(const RayTarget*, int);
template void TraceRays<AccumulationMode::Uniform>(const RayTarget*, int);
template void TraceRay<AccumulationMode::Weighted>(std::uint32_t, std::uint32_t);
template void TraceRay<AccumulationMode::Uniform>(std::uint32_t, std::uint32_t);

