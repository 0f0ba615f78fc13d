#pragma once

// The kernels behind TraceRays: a portable one, and on x86-64 two that walk
// several rays at once, used when the processor has their instructions
// (UsedVectorLevel). All leave the buffers exactly as TraceRay for each
// target in turn, followed by the ray after the batch, would.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "prefetch.h"
#include "renderer.h"
#include "scene_state.h"

// A ray's walk from the light: n steps along the major axis, and a minor
// step whenever the error, growing by m a step from 0, reaches n.
struct RayGeometry {
  std::ptrdiff_t majorStep;
  std::ptrdiff_t minorStep;
  std::uint32_t length;       // n
  std::uint32_t minorLength;  // m
};

inline RayGeometry MakeRayGeometry(RayTarget target) {
  // Deltas are 16-bit; the magnitude of -32768 is 32768.
  const auto columnDelta =
      static_cast<std::int16_t>(static_cast<std::uint16_t>(target.column - scene.lightColumn));
  const auto rowDelta =
      static_cast<std::int16_t>(static_cast<std::uint16_t>(target.row - scene.lightRow));
  const auto columnLength = static_cast<std::uint32_t>(columnDelta < 0 ? -columnDelta : columnDelta);
  const auto rowLength = static_cast<std::uint32_t>(rowDelta < 0 ? -rowDelta : rowDelta);
  const std::ptrdiff_t columnStep = columnDelta < 0 ? -1 : 1;
  const std::ptrdiff_t rowStep =
      rowDelta < 0 ? -std::ptrdiff_t{scene.width} : std::ptrdiff_t{scene.width};
  // Ties make rows the major axis.
  if (columnLength > rowLength) return {columnStep, rowStep, columnLength, rowLength};
  return {rowStep, columnStep, rowLength, columnLength};
}

// About where, relative to its current pixel, a ray will be one block of
// steps later.
inline std::ptrdiff_t BlockAhead(const RayGeometry& ray) {
  if (ray.length == 0) return 0;
  const std::ptrdiff_t minorSteps = std::ptrdiff_t{kStepBlock} * ray.minorLength / ray.length;
  return std::ptrdiff_t{kStepBlock} * ray.majorStep + minorSteps * ray.minorStep;
}

// The buffers a walk touches, taken from the scene once per batch: the shared
// stores would otherwise make the compiler reload them at every step.
struct WalkBuffers {
  std::uint8_t* coverage;
  std::uint16_t* counts;
  std::uint32_t* accum;
  const std::uint8_t* source;
};

inline WalkBuffers SceneWalkBuffers() {
  return {scene.coverage, scene.counts, scene.accum, CastSource()};
}

// The kernels fetch the lines of each ray's next block while the other rays
// of the batch take their turn: their scattered stores would otherwise wait
// on memory one miss at a time.
inline void PrefetchPixel(const WalkBuffers& buffers, std::ptrdiff_t pixel) {
  PrefetchLine(buffers.coverage, pixel, true);
  PrefetchLine(buffers.counts, pixel * 2, true);
  PrefetchLine(buffers.accum, pixel * 12, true);
  PrefetchLine(buffers.source, pixel * 3, false);
}

// The ray after a batch in its ring, walked for its positions only: where it
// stands at a step decides whether the batch's last ray stores there.
struct PositionWalk {
  RayGeometry ray;
  std::ptrdiff_t position;
  std::uint32_t error;
};

// A missing ray has no steps.
inline PositionWalk StartPositionWalk(const RayTarget* target) {
  if (target == nullptr) return {};
  return {MakeRayGeometry(*target), scene.lightIndex, 0};
}

// Writes where the walk is at steps first to last into positions[0], ...,
// and -1 for the steps past its end.
template <typename Position>
inline void WalkPositions(PositionWalk& walk, std::uint32_t first, std::uint32_t last,
                          Position* positions) {
  for (std::uint32_t i = first; i <= last; ++i) {
    if (i > walk.ray.length) {
      positions[i - first] = -1;
      continue;
    }
    walk.position += walk.ray.majorStep;
    walk.error += walk.ray.minorLength;
    if (walk.error >= walk.ray.length) {
      walk.position += walk.ray.minorStep;
      walk.error -= walk.ray.length;
    }
    positions[i - first] = static_cast<Position>(walk.position);
  }
}

// Rays of two casting threads can meet on the light's row and column, where
// they store identical values; relaxed atomics make that well defined.
template <typename T>
inline void StoreShared(T& element, T value) {
  std::atomic_ref<T>(element).store(value, std::memory_order_relaxed);
}

template <AccumulationMode mode>
void TraceRaysScalar(const RayTarget* targets, int count, const RayTarget* following);

// The vector kernels (x86-64 only) walk 8 or 16 rays at once with 32-bit
// pixel offsets.
template <AccumulationMode mode>
void TraceRaysAvx2(const RayTarget* targets, int count, const RayTarget* following);
template <AccumulationMode mode>
void TraceRaysAvx512(const RayTarget* targets, int count, const RayTarget* following);
