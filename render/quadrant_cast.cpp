#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "quadrant_walks.h"
#include "renderer.h"
#include "scene_state.h"

namespace {

// A ring lies on one column and one row of the picture.
constexpr std::size_t kMaxRing = 2 * std::size_t{kMaxPictureSide};

// The targets of the ring each casting routine is tracing.
RayTarget ringTargets[4][kMaxRing];

#ifdef GLINTOR_CHECK_INVARIANTS
// What TraceRays rests on, along a ring in visiting order: the directions
// from the light turn one way, counter-clockwise, through a quarter turn at
// most, so the rays' pixels at any one step move one way around the light;
// and the rays' lengths rise, then fall.
void CheckRingOrder(const RayTarget* ring, int size) {
  bool falling = false;
  for (int k = 1; k < size; ++k) {
    const std::int64_t c0 = std::int64_t{ring[k - 1].column} - scene.lightColumn;
    const std::int64_t r0 = std::int64_t{ring[k - 1].row} - scene.lightRow;
    const std::int64_t c1 = std::int64_t{ring[k].column} - scene.lightColumn;
    const std::int64_t r1 = std::int64_t{ring[k].row} - scene.lightRow;
    const std::int64_t length0 = std::max(std::abs(c0), std::abs(r0));
    const std::int64_t length1 = std::max(std::abs(c1), std::abs(r1));
    falling = falling || length1 < length0;
    if (c0 * r1 - r0 * c1 < 0 || (falling && length1 > length0)) {
      std::fputs("casting: a ring's targets are out of order\n", stderr);
      std::abort();
    }
  }
}
#endif

// Visits a quadrant with the given walk, collects the targets of each ring
// whose coverage byte is still 0, then traces them in batches. No ray of a
// ring passes another target of the same ring, so the bytes read before any
// of the ring's rays are traced are the bytes they would have had after the
// earlier ones. A ring is traced in full before the next ring's targets are
// read.
template <AccumulationMode mode, typename Walk>
void CastQuadrant(Walk walk, RayTarget* ring) {
  int size = 0;
  auto traceRing = [&] {
#ifdef GLINTOR_CHECK_INVARIANTS
    CheckRingOrder(ring, size);
#endif
    for (int first = 0; first < size; first += kRayBatch) {
      const int count = std::min(kRayBatch, size - first);
      TraceRays<mode>(ring + first, count, first + count < size ? ring + first + count : nullptr);
    }
    size = 0;
  };
  auto visit = [&](std::int32_t column, std::int32_t row, std::size_t index) {
    // Another thread may be storing this byte on the light's row or column;
    // it only ever stores 1.
    if (std::atomic_ref<std::uint8_t>(scene.coverage[index]).load(std::memory_order_relaxed) != 0)
      return;
    ring[size++] = {static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row)};
  };
  walk(visit, traceRing);
}

}  // namespace

template <AccumulationMode mode>
std::uint32_t CastLowerLeft(void*) {
  CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkLowerLeft(visit, ringDone); }, ringTargets[0]);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastLowerRight(void*) {
  CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkLowerRight(visit, ringDone); }, ringTargets[1]);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastUpperLeft(void*) {
  CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkUpperLeft(visit, ringDone); }, ringTargets[2]);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastUpperRight(void*) {
  CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkUpperRight(visit, ringDone); }, ringTargets[3]);
  return 1;
}

template std::uint32_t CastLowerLeft<AccumulationMode::Weighted>(void*);
template std::uint32_t CastLowerRight<AccumulationMode::Weighted>(void*);
template std::uint32_t CastUpperLeft<AccumulationMode::Weighted>(void*);
template std::uint32_t CastUpperRight<AccumulationMode::Weighted>(void*);
template std::uint32_t CastLowerLeft<AccumulationMode::Uniform>(void*);
template std::uint32_t CastLowerRight<AccumulationMode::Uniform>(void*);
template std::uint32_t CastUpperLeft<AccumulationMode::Uniform>(void*);
template std::uint32_t CastUpperRight<AccumulationMode::Uniform>(void*);
