#pragma once

// The kernels behind TraceRays: a portable one, and on x86-64 two that walk
// several rays at once, used when the processor has their instructions
// (UsedVectorLevel). All leave the buffers exactly as TraceRay for each
// target in turn, followed by the ray after the batch, would.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "prefetch.h"
#include "renderer.h"
#include "scene_state.h"

// A ray's walk from the light: n steps along the major axis, and a minor
// step whenever the error, growing by m a step from 0, reaches n. From a
// light outside the picture the walk enters it at step `entry` and stays in
// up to the target; it is traced from there, as if it started there.
struct RayGeometry {
  std::ptrdiff_t majorStep;
  std::ptrdiff_t minorStep;
  std::uint32_t length;       // n
  std::uint32_t minorLength;  // m
  std::uint32_t entry;        // the first step inside; 1 from a light inside
  bool columnsMajor;
  std::int32_t columnSign, rowSign;
};

// The first step of a walk that lies inside the picture: past the light's
// distance from the picture along the major axis, and far enough along for
// ceil(d n / m) minor steps to cover its distance d along the minor axis.
inline std::uint32_t EntryStep(bool columnsMajor, std::uint32_t length, std::uint32_t minorLength) {
  const auto outside = [](std::int64_t coordinate, std::int64_t extent) {
    return coordinate < 0 ? -coordinate : coordinate >= extent ? coordinate - (extent - 1) : 0;
  };
  const std::int64_t column = outside(scene.lightColumn, scene.width), row = outside(scene.lightRow, scene.height);
  const std::int64_t major = columnsMajor ? column : row, minor = columnsMajor ? row : column;
  std::int64_t entry = std::max<std::int64_t>(1, major);
  if (minor > 0) {
    // Only a walk along the light's own row or column has no minor steps,
    // and it never enters from beside the picture.
    if (minorLength == 0) return length + 1;
    entry = std::max(entry, (minor * length + minorLength - 1) / minorLength);
  }
  return static_cast<std::uint32_t>(std::min<std::int64_t>(entry, std::int64_t{length} + 1));
}

inline RayGeometry MakeRayGeometry(RayTarget target) {
  const std::int32_t columnDelta = static_cast<std::int32_t>(target.column) - scene.lightColumn;
  const std::int32_t rowDelta = static_cast<std::int32_t>(target.row) - scene.lightRow;
  const auto columnLength = static_cast<std::uint32_t>(columnDelta < 0 ? -columnDelta : columnDelta);
  const auto rowLength = static_cast<std::uint32_t>(rowDelta < 0 ? -rowDelta : rowDelta);
  const std::int32_t columnSign = columnDelta < 0 ? -1 : 1, rowSign = rowDelta < 0 ? -1 : 1;
  const std::ptrdiff_t columnStep = columnSign;
  const std::ptrdiff_t rowStep = rowSign * std::ptrdiff_t{scene.width};
  // Ties make rows the major axis.
  const bool columnsMajor = columnLength > rowLength;
  const std::uint32_t length = columnsMajor ? columnLength : rowLength;
  const std::uint32_t minorLength = columnsMajor ? rowLength : columnLength;
  return {columnsMajor ? columnStep : rowStep,
          columnsMajor ? rowStep : columnStep,
          length,
          minorLength,
          EntryStep(columnsMajor, length, minorLength),
          columnsMajor,
          columnSign,
          rowSign};
}

// Where a walk stands after `step` steps: its pixel's index (which lies
// outside the picture before the entry step, and may be negative there) and
// its error term. Worked out, not walked: as the walk's, step by step.
struct WalkState {
  std::ptrdiff_t position;
  std::uint32_t error;
};

inline WalkState WalkStateAt(const RayGeometry& ray, std::uint32_t step) {
  // Step 0, the light itself: every walk from a light inside starts there.
  if (ray.length == 0 || step == 0) return {static_cast<std::ptrdiff_t>(scene.lightIndex), 0};
  const std::uint64_t minorProgress = std::uint64_t{step} * ray.minorLength;
  const auto minorSteps = static_cast<std::int64_t>(minorProgress / ray.length);
  const std::int64_t columnSteps = ray.columnsMajor ? step : minorSteps;
  const std::int64_t rowSteps = ray.columnsMajor ? minorSteps : step;
  const std::int64_t column = scene.lightColumn + ray.columnSign * columnSteps;
  const std::int64_t row = scene.lightRow + ray.rowSign * rowSteps;
  return {static_cast<std::ptrdiff_t>(row * scene.width + column),
          static_cast<std::uint32_t>(minorProgress % ray.length)};
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

// A missing ray has no steps. The walk is taken up at step firstStep.
inline PositionWalk StartPositionWalk(const RayTarget* target, std::uint32_t firstStep) {
  if (target == nullptr) return {};
  const RayGeometry ray = MakeRayGeometry(*target);
  const WalkState state = WalkStateAt(ray, firstStep - 1);
  return {ray, state.position, state.error};
}

// Writes where the walk is at steps first to last into positions[0], ...,
// and -1 for the steps before it enters the picture and past its end.
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
    positions[i - first] = i < walk.ray.entry ? Position{-1} : static_cast<Position>(walk.position);
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
