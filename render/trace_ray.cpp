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

// One ray's walk: the pixel index moves by precomputed steps only.
struct RayWalk {
  std::ptrdiff_t position;
  std::ptrdiff_t majorStep;
  std::ptrdiff_t minorStep;
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
  return walk;
}

}  // namespace

// Every ray that passes a pixel reaches it at the same step, the pixel's
// distance from the light, and rays to targets of one ring never pass each
// other's targets. So walking a ring's rays side by side, step by step, and
// in ray order within a step, leaves every pixel with the values of the last
// ray through it, exactly as tracing them one after another does, while
// neighbouring rays share the cache lines they touch.
template <AccumulationMode mode>
void TraceRays(const RayTarget* targets, int count) {
  RayWalk walks[kRayBatch];
  std::uint32_t longest = 0;
  for (int k = 0; k < count; ++k) {
    walks[k] = StartWalk(targets[k]);
    if (walks[k].length > longest) longest = walks[k].length;
  }
  // Locals, so that the shared stores cannot make the compiler reload them.
  std::uint8_t* const coverage = scene.coverage;
  std::uint16_t* const counts = scene.counts;
  std::uint32_t* const accum = scene.accum;
  const std::uint8_t* const source = scene.source;

  for (std::uint32_t i = 1; i <= longest; ++i) {
    // Weighted sums wrap modulo 2^32 on very long bright rays.
    const std::uint32_t weight = mode == AccumulationMode::Weighted ? i : 1;
    for (int k = 0; k < count; ++k) {
      RayWalk& walk = walks[k];
      if (walk.length < i) continue;
      walk.position += walk.majorStep;
      walk.error += walk.minorLength;
      if (walk.error >= static_cast<std::int32_t>(walk.length)) {
        walk.position += walk.minorStep;
        walk.error -= static_cast<std::int32_t>(walk.length);
      }
      const std::ptrdiff_t position = walk.position;
      const std::uint8_t* sample = source + position * 3;
      std::uint32_t* sum = accum + position * 3;
      StoreShared<std::uint8_t>(coverage[position], 1);
      StoreShared(counts[position], static_cast<std::uint16_t>(i));
      for (int c = 0; c < 3; ++c) {
        walk.sums[c] += sample[c] * weight;
        StoreShared(sum[c], walk.sums[c]);
      }
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

