#pragma once

// The target walks of the four casting routines, separate from what a visit
// does so that the walk order itself can be checked. Each walks its quadrant
// ring by ring from the picture's edges towards the light, every ring
// counter-clockwise as displayed, calls visit(column, row, index) for every
// pixel on the way (but those of runs a SkipsRuns visit steps over) and
// ringDone() at the end of every ring.

#include <algorithm>
#include <concepts>
#include <cstddef>
#include <cstdint>

#include "scene_state.h"

// A visit that can tell that kRunPixels pixels of a row, from index on in
// the leg's direction, need no visit; the walk then steps over them at once.
inline constexpr std::int32_t kRunPixels = 8;
template <typename Visit>
concept SkipsRuns = requires(const Visit& visit, std::int32_t column, std::size_t index, std::int32_t step) {
  { visit.RunNeedsNoVisit(column, index, step) } -> std::convertible_to<bool>;
};

namespace walk_detail {

// count pixels from (column, row), moving by (columnStep, rowStep) each time.
// The index moves by a fixed step; no multiplication per visit.
template <typename Visit>
inline void VisitLeg(Visit& visit, std::int32_t column, std::int32_t row,
                     std::int32_t columnStep, std::int32_t rowStep,
                     std::int32_t count) {
  const std::ptrdiff_t width = scene.width;
  std::ptrdiff_t index = std::ptrdiff_t{row} * width + column;
  const std::ptrdiff_t indexStep = columnStep + std::ptrdiff_t{rowStep} * width;
  for (; count > 0; --count) {
    if constexpr (SkipsRuns<Visit>) {
      if (rowStep == 0 && count >= kRunPixels &&
          visit.RunNeedsNoVisit(column, static_cast<std::size_t>(index), columnStep)) {
        column += kRunPixels * columnStep;
        index += kRunPixels * columnStep;
        count -= kRunPixels - 1;
        continue;
      }
    }
    visit(column, row, static_cast<std::size_t>(index));
    column += columnStep;
    row += rowStep;
    index += indexStep;
  }
}

}  // namespace walk_detail

template <typename Visit, typename RingDone>
void WalkLowerLeft(Visit&& visit, RingDone&& ringDone) {
  const std::int32_t lc = scene.lightColumn, lr = scene.lightRow;
  const std::int32_t rings = std::min(lc, lr);
  for (std::int32_t k = 0; k < rings; ++k) {
    // Only the first ring starts on the light's row itself.
    const std::int32_t startRow = k == 0 ? lr : lr - 1;
    walk_detail::VisitLeg(visit, k, startRow, 0, -1, startRow - k + 1);
    walk_detail::VisitLeg(visit, k + 1, k, 1, 0, lc - k);
    ringDone();
  }
}

template <typename Visit, typename RingDone>
void WalkLowerRight(Visit&& visit, RingDone&& ringDone) {
  const std::int32_t lc = scene.lightColumn, lr = scene.lightRow;
  const std::int32_t right = std::int32_t{scene.width} - 1;
  const std::int32_t rings = std::min(right - lc, lr);
  for (std::int32_t k = 0; k < rings; ++k) {
    walk_detail::VisitLeg(visit, lc + 1, k, 1, 0, right - k - lc);
    walk_detail::VisitLeg(visit, right - k, k + 1, 0, 1, lr - k);
    ringDone();
  }
}

template <typename Visit, typename RingDone>
void WalkUpperLeft(Visit&& visit, RingDone&& ringDone) {
  const std::int32_t lc = scene.lightColumn, lr = scene.lightRow;
  const std::int32_t top = std::int32_t{scene.height} - 1;
  const std::int32_t rings = std::min(lc, top - lr);
  for (std::int32_t k = 0; k < rings; ++k) {
    walk_detail::VisitLeg(visit, lc - 1, top - k, -1, 0, lc - k);
    walk_detail::VisitLeg(visit, k, top - 1 - k, 0, -1, top - k - lr);
    ringDone();
  }
}

template <typename Visit, typename RingDone>
void WalkUpperRight(Visit&& visit, RingDone&& ringDone) {
  const std::int32_t lc = scene.lightColumn, lr = scene.lightRow;
  const std::int32_t right = std::int32_t{scene.width} - 1;
  const std::int32_t top = std::int32_t{scene.height} - 1;
  const std::int32_t rings = std::min(right - lc, top - lr);
  for (std::int32_t k = 0; k < rings; ++k) {
    walk_detail::VisitLeg(visit, right - k, lr + 1, 0, 1, top - k - lr);
    walk_detail::VisitLeg(visit, right - 1 - k, top - k, -1, 0, right - k - lc);
    ringDone();
  }
}
