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
// / (W·H). The sum is separable: each output row first adds up its source
// rows, every byte weighted by overlapY (below 2^32 for H < 2^24), then
// each output column adds up those sums weighted by overlapX, in 64 bits.
// Summing rows first leaves the pass per column, which does not vectorise,
// to the output's rows only.

namespace {

constexpr unsigned kMostBands = 4;

// Per output column, the source columns it covers and their overlaps.
struct Columns {
  std::uint32_t count;          // output columns
  const std::uint32_t* first;   // first source column of each
  const std::uint32_t* start;   // into weights, count + 1 entries
  const std::uint32_t* weights;
};

// Rounds sum / total to nearest, halves up. A 64-bit division takes tens of
// cycles on many processors, and there are three per output pixel; the
// product with a double reciprocal is within one of the quotient (at most
// 255), and the remainder tells which.
struct Mean {
  std::uint64_t total, half;
  double inverse;

  std::uint8_t operator()(std::uint64_t sum) const {
    const std::uint64_t dividend = sum + half;
    // Signed conversions: the unsigned ones cost a branch each.
    auto quotient = static_cast<std::uint64_t>(
        static_cast<std::int64_t>(static_cast<double>(static_cast<std::int64_t>(dividend)) * inverse));
    if (quotient * total > dividend) {
      --quotient;
    } else if ((quotient + 1) * total <= dividend) {
      ++quotient;
    }
    return static_cast<std::uint8_t>(quotient);
  }
};

// One thread's output rows [firstRow, endRow) and its working row.
struct Band {
  const std::uint8_t* from;
  std::uint32_t fromWidth, fromHeight;
  std::uint8_t* to;
  std::uint32_t toHeight;
  std::uint32_t firstRow, endRow;
  const Columns* columns;
  Mean mean;
  std::uint32_t* sums;  // Σ overlapY·value of each source byte, for one output row
};

// The output row whose source rows `sums` adds up, from Σ overlapX·sum.
void FinishRow(const std::uint32_t* sums, const Columns& columns, const Mean& mean, std::uint8_t* out) {
  for (std::uint32_t i = 0; i < columns.count; ++i, out += 3) {
    const std::uint32_t* column = sums + std::size_t{3} * columns.first[i];
    const std::uint32_t* weight = columns.weights + columns.start[i];
    const std::uint32_t* const end = columns.weights + columns.start[i + 1];
    std::uint64_t blue = 0, green = 0, red = 0;
    for (; weight != end; ++weight, column += 3) {
      blue += std::uint64_t{*weight} * column[0];
      green += std::uint64_t{*weight} * column[1];
      red += std::uint64_t{*weight} * column[2];
    }
    out[0] = mean(blue);
    out[1] = mean(green);
    out[2] = mean(red);
  }
}

// Weight: the type of overlapY, at most h. A 16-bit one makes the products
// 16 x 16 -> 32 bits, which vectorise without SSE4.1.
template <typename Weight>
void ReduceBand(const Band& band) {
  const std::size_t rowBytes = std::size_t{3} * band.fromWidth;
  const std::uint64_t h = band.toHeight, H = band.fromHeight;
  std::fill_n(band.sums, rowBytes, 0);
  std::uint32_t j = band.firstRow;
  // Source rows from the one that holds the band's bottom edge to the one
  // that holds its top edge, which the next band starts with again.
  const std::uint64_t firstSource = j * H / h, endSource = (band.endRow * H - 1) / h + 1;
  for (std::uint64_t r = firstSource; r < endSource; ++r) {
    const std::uint8_t* const row = band.from + r * rowBytes;
    const std::uint64_t bottom = r * h, top = bottom + h;
    // A source row is no higher than an output row: it reaches into two at most.
    while (j < band.endRow) {
      const std::uint64_t rowTop = (j + 1) * H;
      const auto overlap = static_cast<Weight>(std::min(top, rowTop) - std::max(bottom, j * H));
      for (std::size_t k = 0; k < rowBytes; ++k) band.sums[k] += static_cast<std::uint32_t>(overlap * row[k]);
      if (top < rowTop) break;
      FinishRow(band.sums, *band.columns, band.mean, band.to + std::size_t{3} * band.columns->count * j);
      std::fill_n(band.sums, rowBytes, 0);
      ++j;
      if (top == rowTop) break;
    }
  }
}

}  // namespace

bool ReducePicture(const std::uint8_t* from, std::uint32_t fromWidth, std::uint32_t fromHeight,
                   std::uint8_t* to, std::uint32_t toWidth, std::uint32_t toHeight) {
  if (toWidth == 0 || toHeight == 0 || toWidth > fromWidth || toHeight > fromHeight ||
      fromHeight >= (1u << 24)) {
    return false;
  }
  const std::uint64_t W = fromWidth, w = toWidth;
  std::size_t weightCount = 0;
  for (std::uint64_t i = 0; i < w; ++i) weightCount += ((i + 1) * W - 1) / w + 1 - i * W / w;

  const unsigned bands = std::min(kMostBands, toHeight);
  const std::size_t rowBytes = std::size_t{3} * fromWidth;
  std::unique_ptr<std::uint32_t[]> table(
      new (std::nothrow) std::uint32_t[2 * w + 1 + weightCount + bands * rowBytes]);
  if (!table) return false;

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
               &columns, mean, sums + b * rowBytes};
  }
  void (*const reduce)(const Band&) =
      toHeight <= 0xffff ? ReduceBand<std::uint16_t> : ReduceBand<std::uint32_t>;
  // The first band on this thread; a band whose thread cannot start too.
  std::thread threads[kMostBands];
  for (unsigned b = 1; b < bands; ++b) {
    try {
      threads[b] = std::thread(reduce, std::cref(work[b]));
    } catch (const std::system_error&) {
      reduce(work[b]);
    } catch (const std::bad_alloc&) {
      reduce(work[b]);
    }
  }
  reduce(work[0]);
  for (std::thread& thread : threads) {
    if (thread.joinable()) thread.join();
  }
  return true;
}
