#include <atomic>
#include <cstddef>
#include <cstdint>

#include "renderer.h"
#include "scene_state.h"

namespace {

// |delta| as an unsigned 16-bit value; -32768 gives 32768.
std::uint16_t Magnitude(std::int16_t delta) {
  return static_cast<std::uint16_t>(delta < 0 ? -std::int32_t{delta} : std::int32_t{delta});
}

// Rays of two casting threads can meet on the light's row and column, where
// they store identical values; relaxed atomics make that well defined.
template <typename T>
void StoreShared(T& element, T value) {
  std::atomic_ref<T>(element).store(value, std::memory_order_relaxed);
}

}  // namespace

template <AccumulationMode mode>
void TraceRay(std::uint32_t targetColumn, std::uint32_t targetRow) {
  const auto columnDelta =
      static_cast<std::int16_t>(static_cast<std::uint16_t>(targetColumn - scene.lightColumn));
  const auto rowDelta =
      static_cast<std::int16_t>(static_cast<std::uint16_t>(targetRow - scene.lightRow));
  const std::uint16_t columnLength = Magnitude(columnDelta);
  const std::uint16_t rowLength = Magnitude(rowDelta);
  const std::ptrdiff_t columnStep = columnDelta < 0 ? -1 : 1;
  const std::ptrdiff_t rowStep =
      rowDelta < 0 ? -std::ptrdiff_t{scene.width} : std::ptrdiff_t{scene.width};

  // Ties make rows the major axis.
  const bool columnsMajor = columnLength > rowLength;
  const std::uint32_t n = columnsMajor ? columnLength : rowLength;
  const std::uint32_t m = columnsMajor ? rowLength : columnLength;
  const std::ptrdiff_t majorStep = columnsMajor ? columnStep : rowStep;
  const std::ptrdiff_t minorStep = columnsMajor ? rowStep : columnStep;

  // Everything the loop touches lives in locals, so the shared stores below
  // cannot make the compiler reload it.
  std::uint8_t* const coverage = scene.coverage;
  std::uint16_t* const counts = scene.counts;
  std::uint32_t* const accum = scene.accum;
  const std::uint8_t* const source = scene.source;

  // The error starts at 0, not n / 2: minor steps come as late as possible.
  std::ptrdiff_t position = scene.lightIndex;
  std::int32_t error = 0;
  std::uint32_t blue = 0, green = 0, red = 0;
  for (std::uint32_t i = 1; i <= n; ++i) {
    position += majorStep;
    error += static_cast<std::int32_t>(m);
    if (error >= static_cast<std::int32_t>(n)) {
      position += minorStep;
      error -= static_cast<std::int32_t>(n);
    }
    const std::uint8_t* sample = source + position * 3;
    // Wraps modulo 2^32 on very long bright rays in Weighted mode.
    const std::uint32_t weight = mode == AccumulationMode::Weighted ? i : 1;
    blue += sample[0] * weight;
    green += sample[1] * weight;
    red += sample[2] * weight;
    StoreShared<std::uint8_t>(coverage[position], 1);
    StoreShared(counts[position], static_cast<std::uint16_t>(i));
    std::uint32_t* sum = accum + position * 3;
    StoreShared(sum[0], blue);
    StoreShared(sum[1], green);
    StoreShared(sum[2], red);
  }
}

template void TraceRay<AccumulationMode::Weighted>(std::uint32_t, std::uint32_t);
template void TraceRay<AccumulationMode::Uniform>(std::uint32_t, std::uint32_t);
