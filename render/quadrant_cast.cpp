#include <atomic>
#include <cstddef>
#include <cstdint>

#include "quadrant_walks.h"
#include "renderer.h"
#include "scene_state.h"

namespace {

// Another thread may be storing this coverage byte on the light's row or
// column; it only ever stores 1.
template <AccumulationMode mode>
void TraceIfUncovered(std::int32_t column, std::int32_t row, std::size_t index) {
  if (std::atomic_ref<std::uint8_t>(scene.coverage[index]).load(std::memory_order_relaxed) == 0) {
    TraceRay<mode>(static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row));
  }
}

}  // namespace

template <AccumulationMode mode>
std::uint32_t CastLowerLeft(void*) {
  WalkLowerLeft(TraceIfUncovered<mode>);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastLowerRight(void*) {
  WalkLowerRight(TraceIfUncovered<mode>);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastUpperLeft(void*) {
  WalkUpperLeft(TraceIfUncovered<mode>);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastUpperRight(void*) {
  WalkUpperRight(TraceIfUncovered<mode>);
  return 1;
}

#define GLINTOR_INSTANTIATE_CASTS(mode)           \
  template std::uint32_t CastLowerLeft<mode>(void*);  \
  template std::uint32_t CastLowerRight<mode>(void*); \
  template std::uint32_t CastUpperLeft<mode>(void*);  \
  template std::uint32_t CastUpperRight<mode>(void*);
GLINTOR_INSTANTIATE_CASTS(AccumulationMode::Weighted)
GLINTOR_INSTANTIATE_CASTS(AccumulationMode::Uniform)
