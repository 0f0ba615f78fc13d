#include <atomic>
#include <cstddef>
#include <cstdint>

#include "quadrant_walks.h"
#include "renderer.h"
#include "scene_state.h"

namespace {

// Another thread may be storing this coverage byte on the light's row or
// column; it only ever stores 1.
void TraceIfUncovered(std::int32_t column, std::int32_t row, std::size_t index) {
  if (std::atomic_ref<std::uint8_t>(scene.coverage[index]).load(std::memory_order_relaxed) == 0) {
    TraceRay(static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row));
  }
}

}  // namespace

std::uint32_t CastLowerLeft(void*) {
  WalkLowerLeft(TraceIfUncovered);
  return 1;
}

std::uint32_t CastLowerRight(void*) {
  WalkLowerRight(TraceIfUncovered);
  return 1;
}

std::uint32_t CastUpperLeft(void*) {
  WalkUpperLeft(TraceIfUncovered);
  return 1;
}

std::uint32_t CastUpperRight(void*) {
  WalkUpperRight(TraceIfUncovered);
  return 1;
}
