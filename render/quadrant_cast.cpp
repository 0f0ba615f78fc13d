#include <atomic>
#include <cstddef>
#include <cstdint>

#include "quadrant_walks.h"
#include "renderer.h"
#include "scene_state.h"

namespace {

// Visits a quadrant with the given walk and traces every target whose
// coverage byte is still 0. Targets are traced in batches of one ring: no
// ray of a ring passes another target of the same ring, so a target's byte
// read before the earlier rays of its batch are traced is the byte it would
// have had after them. Every batch ends with its ring, so the next ring's
// targets are read only once the rays before them are all traced.
template <AccumulationMode mode, typename Walk>
void CastQuadrant(Walk walk) {
  RayTarget batch[kRayBatch];
  int batched = 0;
  auto traceBatch = [&] {
    if (batched > 0) TraceRays<mode>(batch, batched);
    batched = 0;
  };
  auto visit = [&](std::int32_t column, std::int32_t row, std::size_t index) {
    // Another thread may be storing this byte on the light's row or column;
    // it only ever stores 1.
    if (std::atomic_ref<std::uint8_t>(scene.coverage[index]).load(std::memory_order_relaxed) != 0)
      return;
    batch[batched++] = {static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row)};
    if (batched == kRayBatch) traceBatch();
  };
  walk(visit, traceBatch);
}

}  // namespace

template <AccumulationMode mode>
std::uint32_t CastLowerLeft(void*) {
  CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkLowerLeft(visit, ringDone); });
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastLowerRight(void*) {
  CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkLowerRight(visit, ringDone); });
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastUpperLeft(void*) {
  CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkUpperLeft(visit, ringDone); });
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastUpperRight(void*) {
  CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkUpperRight(visit, ringDone); });
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
