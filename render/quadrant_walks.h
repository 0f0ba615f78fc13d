#pragma once

// The target walks of the four casting routines, separate from what a visit
// does so that the walk order itself can be checked. Each walks its quadrant
// ring by ring from the picture's edges towards the light, every ring
// counter-clockwise as displayed, calls visit(column, row, index) for every
// pixel on the way and ringDone() at the end of every ring; it stops when
// ringDone() returns false. With the light outside the picture the rings
// are those of the box around the picture and the light, and only their
// pixels inside the picture are visited: a quadrant that lies wholly
// outside has no ring.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scene_state.h"

namespace walk_detail {

// Narrows [from, to) to the t at which start + step t lies in [0, extent),
// for a step of -1, 0 or 1.
inline void ClipSteps(std::int32_t start, std::int32_t step, std::int32_t extent, std::int32_t& from,
                      std::int32_t& to) {
  if (step == 0) {
    if (start < 0 || start >= extent) to = from;
    return;
  }
  from = std::max(from, step > 0 ? -start : start - (extent - 1));
  to = std::min(to, step > 0 ? extent - start : start + 1);
}

// count pixels from (column, row), moving by (columnStep, rowStep) each time,
// those outside the picture left out. The index moves by a fixed step; no
// multiplication per visit.
template <typename Visit>
inline void VisitLeg(Visit& visit, std::int32_t column, std::int32_t row,
                     std::int32_t columnStep, std::int32_t rowStep,
                     std::int32_t count) {
  std::int32_t from = 0, to = count;
  ClipSteps(column, columnStep, scene.width, from, to);
  ClipSteps(row, rowStep, scene.height, from, to);
  if (from >= to) return;
  column += columnStep * from;
  row += rowStep * from;
  count = to - from;
  const std::ptrdiff_t width = scene.width;
  std::ptrdiff_t index = std::ptrdiff_t{row} * width + column;
  const std::ptrdiff_t indexStep = columnStep + std::ptrdiff_t{rowStep} * width;
  for (; count > 0; --count) {
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
    if (!ringDone()) return;
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
    if (!ringDone()) return;
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
    if (!ringDone()) return;
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
    if (!ringDone()) return;
  }
}

// Columns and rows, both inclusive; empty where a first exceeds its last.
struct PixelBox {
  std::int32_t firstColumn, lastColumn, firstRow, lastRow;
};

// A box holding every pixel of a quadrant's rings but its first inside the
// picture, quadrants numbered as the casting routines: 0 lower left, 1 lower
// right, 2 upper left, 3 upper right.
inline PixelBox LaterRingsBox(int quadrant) {
  const std::int32_t lc = scene.lightColumn, lr = scene.lightRow;
  const std::int32_t right = std::int32_t{scene.width} - 1;
  const std::int32_t top = std::int32_t{scene.height} - 1;
  PixelBox box;
  switch (quadrant) {
    case 0: box = {1, lc, 1, lr - 1}; break;
    case 1: box = {lc + 1, right - 1, 1, lr}; break;
    case 2: box = {1, lc - 1, lr, top - 1}; break;
    default: box = {lc, right - 1, lr + 1, top - 1}; break;
  }
  box.firstColumn = std::max(box.firstColumn, 0);
  box.lastColumn = std::min(box.lastColumn, right);
  box.firstRow = std::max(box.firstRow, 0);
  box.lastRow = std::min(box.lastRow, top);
  return box;
}

// Whether a ray has passed every pixel of the box. Called with the box of
// the quadrant being walked once its ring's rays are all traced, when only
// rays of other quadrants may still be storing there: on the light's row
// and column, which are read with atomics. A byte only goes from 0 to 1.
inline bool BoxCovered(const PixelBox& box) {
  std::uint8_t* const coverage = scene.coverage;
  auto covered = [&](std::size_t index) {
    return std::atomic_ref<std::uint8_t>(coverage[index]).load(std::memory_order_relaxed) != 0;
  };
  // Bytes are 0 or 1, so a and of eight of them shows whether all are 1.
  auto allCovered = [&](std::size_t from, std::size_t end) {
    constexpr std::uint64_t kOnes = 0x0101010101010101u;
    std::uint64_t all = kOnes;
    for (; from + 8 <= end; from += 8) {
      std::uint64_t eight;
      std::memcpy(&eight, coverage + from, sizeof eight);
      all &= eight;
    }
    for (; from < end; ++from) all &= coverage[from] * kOnes;
    return all == kOnes;
  };
  const std::int32_t lc = scene.lightColumn, lr = scene.lightRow;
  for (std::int32_t row = box.firstRow; row <= box.lastRow; ++row) {
    const std::size_t start = std::size_t(row) * scene.width;
    if (row == lr) {
      for (std::int32_t column = box.firstColumn; column <= box.lastColumn; ++column)
        if (!covered(start + std::size_t(column))) return false;
      continue;
    }
    const std::int32_t leftEnd = std::min(box.lastColumn + 1, lc);
    const std::int32_t rightStart = std::max(box.firstColumn, lc + 1);
    if (box.firstColumn < leftEnd && !allCovered(start + std::size_t(box.firstColumn), start + std::size_t(leftEnd)))
      return false;
    if (rightStart <= box.lastColumn && !allCovered(start + std::size_t(rightStart), start + std::size_t(box.lastColumn) + 1))
      return false;
    if (box.firstColumn <= lc && lc <= box.lastColumn && !covered(start + std::size_t(lc))) return false;
  }
  return true;
}
