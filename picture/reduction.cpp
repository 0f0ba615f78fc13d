#include "reduction.h"

#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <new>
#include <system_error>
#include <thread>

// In integers: x is measured in 1/w of a source pixel and y in 1/h, so source
// column c spans [c·w, (c+1)·w) and output column i spans [i·W, (i+1)·W).
// Source pixel (c, r) weighs overlapX·overlapY in output (i, j), the weights
// of an output pixel add up to W·H, and its value is (Σ weight·value + W·H/2)
// / (W·H). The sum is taken row by row: each source row's horizontal sums
// first (below 2^32 for W < 2^24), then those rows weighted by overlapY.

namespace {

constexpr unsigned kMostBands = 4;

// Per output column, the source columns it covers and their overlaps.
struct Columns {
  std::uint32_t count;          // output columns
  const std::uint32_t* first;   // first source column of each
  const std::uint32_t* start;   // into weights, count + 1 entries
  const std::uint32_t* weights;
};

// Σ weight·value of every output column of one source row, per channel.
void SumRow(const std::uint8_t* row, const Columns& columns, std::uint32_t* sums) {
  for (std::uint32_t i = 0; i < columns.count; ++i, sums += 3) {
    const std::uint8_t* pixel = row + std::size_t{3} * columns.first[i];
    const std::uint32_t* weight = columns.weights + columns.start[i];
    const std::uint32_t* const end = columns.weights + columns.start[i + 1];
    std::uint32_t blue = 0, green = 0, red = 0;
    for (; weight != end; ++weight, pixel += 3) {
      blue += *weight * pixel[0];
      green += *weight * pixel[1];
      red += *weight * pixel[2];
    }
    sums[0] = blue;
    sums[1] = green;
    sums[2] = red;
  }
}

// Rounds sum / total to nearest, halves up. A 64-bit division per byte would
// cost more than the rest of the reduction on many processors; the product
// with a double reciprocal is within one of the quotient (at most 255), and
// the remainder tells which.
struct Mean {
  std::uint64_t total, half;
  double inverse;

  std::uint8_t operator()(std::uint64_t sum) const {
    const std::uint64_t dividend = sum + half;
    std::uint64_t quotient = static_cast<std::uint64_t>(static_cast<double>(dividend) * inverse);
    if (quotient * total > dividend) {
      --quotient;
    } else if ((quotient + 1) * total <= dividend) {
      ++quotient;
    }
    return static_cast<std::uint8_t>(quotient);
  }
};

// One thread's output rows [firstRow, endRow) and its working rows.
struct Band {
  const std::uint8_t* from;
  std::uint32_t fromWidth, fromHeight;
  std::uint8_t* to;
  std::uint32_t toHeight;
  std::uint32_t firstRow, endRow;
  const Columns* columns;
  Mean mean;
  std::uint32_t* sums;  // 3 per output column
  std::uint64_t* rows;  // the same, weighted and added up over source rows
};

void ReduceBand(const Band& band) {
  const std::size_t values = std::size_t{3} * band.columns->count;
  const std::size_t fromRowBytes = std::size_t{3} * band.fromWidth;
  const std::uint64_t h = band.toHeight, H = band.fromHeight;
  std::fill_n(band.rows, values, 0);
  std::uint32_t j = band.firstRow;
  // Source rows from the one that holds the band's bottom edge to the one
  // that holds its top edge, which the next band starts with again.
  const std::uint64_t firstSource = j * H / h, endSource = (band.endRow * H - 1) / h + 1;
  for (std::uint64_t r = firstSource; r < endSource; ++r) {
    SumRow(band.from + r * fromRowBytes, *band.columns, band.sums);
    const std::uint64_t bottom = r * h, top = bottom + h;
    // A source row is no higher than an output row: it reaches into two at most.
    while (j < band.endRow) {
      const std::uint64_t rowTop = (j + 1) * H;
      // At most h: a 32-bit product, which vectorises.
      const auto overlap = static_cast<std::uint32_t>(std::min(top, rowTop) - std::max(bottom, j * H));
      for (std::size_t k = 0; k < values; ++k) band.rows[k] += std::uint64_t{overlap} * band.sums[k];
      if (top < rowTop) break;
      std::uint8_t* out = band.to + j * values;
      for (std::size_t k = 0; k < values; ++k) out[k] = band.mean(band.rows[k]);
      std::fill_n(band.rows, values, 0);
      ++j;
      if (top == rowTop) break;
    }
  }
}

}  // namespace

bool ReducePicture(const std::uint8_t* from, std::uint32_t fromWidth, std::uint32_t fromHeight,
                   std::uint8_t* to, std::uint32_t toWidth, std::uint32_t toHeight) {
  if (toWidth == 0 || toHeight == 0 || toWidth > fromWidth || toHeight > fromHeight ||
      fromWidth >= (1u << 24)) {
    return false;
  }
  const std::uint64_t W = fromWidth, w = toWidth;
  std::size_t weightCount = 0;
  for (std::uint64_t i = 0; i < w; ++i) weightCount += ((i + 1) * W - 1) / w + 1 - i * W / w;

  const unsigned bands = std::min(kMostBands, toHeight);
  const std::size_t values = std::size_t{3} * toWidth;
  std::unique_ptr<std::uint32_t[]> table(
      new (std::nothrow) std::uint32_t[2 * w + 1 + weightCount + bands * values]);
  std::unique_ptr<std::uint64_t[]> rows(new (std::nothrow) std::uint64_t[bands * values]);
  if (!table || !rows) return false;

  std::uint32_t* const first = table.get();
  std::uint32_t* const start = first + w;
  std::uint32_t* const weights = start + w + 1;
  std::uint32_t* const sums = weights + weightCount;
  std::uint32_t next = 0;
  for (std::uint64_t i = 0; i < w; ++i) {
    const std::uint64_t left = i * W, right = left + W;
    first[i] = static_cast<std::uint32_t>(left / w);
    start[i] = next;
    for (std::uint64_t c = left / w; c * w < right; ++c) {
      weights[next++] = static_cast<std::uint32_t>(std::min(right, (c + 1) * w) - std::max(left, c * w));
    }
  }
  start[w] = next;
  const Columns columns{toWidth, first, start, weights};

  const std::uint64_t total = W * fromHeight;
  const Mean mean{total, total / 2, 1.0 / static_cast<double>(total)};
  Band work[kMostBands];
  for (unsigned b = 0; b < bands; ++b) {
    work[b] = {from, fromWidth, fromHeight, to, toHeight,
               static_cast<std::uint32_t>(std::uint64_t{b} * toHeight / bands),
               static_cast<std::uint32_t>(std::uint64_t{b + 1} * toHeight / bands),
               &columns, mean, sums + b * values, rows.get() + b * values};
  }
  // The first band on this thread; a band whose thread cannot start too.
  std::thread threads[kMostBands];
  for (unsigned b = 1; b < bands; ++b) {
    try {
      threads[b] = std::thread(ReduceBand, std::cref(work[b]));
    } catch (const std::system_error&) {
      ReduceBand(work[b]);
    } catch (const std::bad_alloc&) {
      ReduceBand(work[b]);
    }
  }
  ReduceBand(work[0]);
  for (std::thread& thread : threads) {
    if (thread.joinable()) thread.join();
  }
  return true;
}
