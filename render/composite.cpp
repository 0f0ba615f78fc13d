#include <cstddef>
#include <cstdint>

#include "reciprocal.h"
#include "renderer.h"
#include "scene_state.h"

template <AccumulationMode mode>
std::uint32_t CompositeQuadrant(void* quadrant) {
  const auto number = reinterpret_cast<std::uintptr_t>(quadrant);
  if (number > 3) return 0;

  // Quadrants split at half the width and height, rounded down: an odd
  // middle row goes to the upper quadrants, an odd middle column to the right.
  const std::size_t halfWidth = scene.width >> 1;
  const std::size_t halfHeight = scene.height >> 1;
  const bool upper = (number & 1) != 0;
  const bool right = (number & 2) != 0;
  const std::size_t firstRow = upper ? halfHeight : 0;
  const std::size_t endRow = upper ? scene.height : halfHeight;
  const std::size_t firstColumn = right ? halfWidth : 0;
  const std::size_t quadrantWidth = right ? scene.width - halfWidth : halfWidth;
  const std::size_t rowSkip = scene.width - quadrantWidth;

  // Built once, on first use, by whichever compositing thread comes first.
  static const std::unique_ptr<const ReciprocalTable> reciprocals =
      MakeReciprocalTable(mode == AccumulationMode::Weighted);
  const ReciprocalTable& reciprocalOf = *reciprocals;
  const std::uint16_t* const counts = scene.counts;
  const std::uint32_t* const accum = scene.accum;
  const std::uint8_t* const source = scene.source;
  std::uint8_t* const output = scene.output;

  std::size_t pixel = firstRow * scene.width + firstColumn;
  for (std::size_t row = firstRow; row < endRow; ++row, pixel += rowSkip) {
    for (std::size_t column = 0; column < quadrantWidth; ++column, ++pixel) {
      const std::uint64_t reciprocal = reciprocalOf[counts[pixel]];
      for (std::size_t c = 0; c < 3; ++c) {
        const std::size_t channel = pixel * 3 + c;
        const auto quotient = static_cast<std::uint16_t>(DivideByReciprocal(accum[channel], reciprocal));
        const auto value = static_cast<std::uint16_t>(source[channel] + quotient);
        output[channel] = static_cast<std::uint8_t>(value > 255 ? 255 : value);
      }
    }
  }
  return 1;
}

template std::uint32_t CompositeQuadrant<AccumulationMode::Weighted>(void*);
template std::uint32_t CompositeQuadrant<AccumulationMode::Uniform>(void*);
