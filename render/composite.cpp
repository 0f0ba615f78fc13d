#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "prefetch.h"
#include "quotient.h"
#include "renderer.h"
#include "scene_state.h"

namespace {

constexpr std::ptrdiff_t kPrefetchPixels = 128;

// One channel: the source plus the normalised sum, both reduced to 16 bits,
// clamped to 255.
inline std::uint8_t CompositeChannel(std::uint8_t source, std::uint32_t sum, double inverse) {
  const auto quotient = static_cast<std::uint16_t>(QuotientByInverse(sum, inverse));
  const auto value = static_cast<std::uint16_t>(source + quotient);
  return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

#if defined(__SSE2__)
// The twelve channels of four pixels at once, exactly as CompositeChannel,
// for counts other than 1: with a divisor of 2 or more every quotient stays
// below 2^31 and converts as a signed 32-bit integer.
inline void CompositeFourPixels(const std::uint16_t* counts, const std::uint32_t* accum,
                                const std::uint8_t* source, std::uint8_t* output,
                                const InverseTable& inverseOf) {
  const double i0 = inverseOf[counts[0]], i1 = inverseOf[counts[1]];
  const double i2 = inverseOf[counts[2]], i3 = inverseOf[counts[3]];
  // Sums are unsigned: flip the sign bit for the signed conversion and add
  // 2^31 back, with the 0.5 of the quotient formula.
  const __m128i signBit = _mm_set1_epi32(INT32_MIN);
  const __m128d offset = _mm_set1_pd(2147483648.5);
  auto quotients = [&](const std::uint32_t* sums, __m128d lowInverse, __m128d highInverse) {
    const __m128i x = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(sums)), signBit);
    const __m128d low = _mm_mul_pd(_mm_add_pd(_mm_cvtepi32_pd(x), offset), lowInverse);
    const __m128d high = _mm_mul_pd(_mm_add_pd(_mm_cvtepi32_pd(_mm_srli_si128(x, 8)), offset), highInverse);
    const __m128i q = _mm_unpacklo_epi64(_mm_cvttpd_epi32(low), _mm_cvttpd_epi32(high));
    return _mm_srai_epi32(_mm_slli_epi32(q, 16), 16);  // the low 16 bits, ready to pack
  };
  // Channels in memory order: blue, green, red of pixel 0, then pixel 1, ...
  const __m128i q0 = quotients(accum, _mm_set1_pd(i0), _mm_set_pd(i1, i0));
  const __m128i q1 = quotients(accum + 4, _mm_set1_pd(i1), _mm_set1_pd(i2));
  const __m128i q2 = quotients(accum + 8, _mm_set_pd(i3, i2), _mm_set1_pd(i3));

  std::uint64_t sourceLow;
  std::uint32_t sourceHigh;
  std::memcpy(&sourceLow, source, 8);
  std::memcpy(&sourceHigh, source + 8, 4);
  const __m128i zero = _mm_setzero_si128();
  const __m128i limit = _mm_set1_epi16(255);
  auto clamped = [&](__m128i sourceBytes, __m128i quotient16) {
    const __m128i value = _mm_add_epi16(_mm_unpacklo_epi8(sourceBytes, zero), quotient16);
    return _mm_sub_epi16(value, _mm_subs_epu16(value, limit));  // min(value, 255), unsigned
  };
  const __m128i first = clamped(_mm_cvtsi64_si128(static_cast<long long>(sourceLow)), _mm_packs_epi32(q0, q1));
  const __m128i last = clamped(_mm_cvtsi32_si128(static_cast<int>(sourceHigh)), _mm_packs_epi32(q2, zero));
  const __m128i bytes = _mm_packus_epi16(first, last);
  const auto outputLow = static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes));
  const auto outputHigh = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
  std::memcpy(output, &outputLow, 8);
  std::memcpy(output + 8, &outputHigh, 4);
}
#endif

}  // namespace

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
  static const std::unique_ptr<const InverseTable> inverses =
      MakeInverseTable(mode == AccumulationMode::Weighted);
  const InverseTable& inverseOf = *inverses;
  const std::uint16_t* const counts = scene.counts;
  const std::uint32_t* const accum = scene.accum;
  const std::uint8_t* const source = scene.source;
  std::uint8_t* const output = scene.output;

  auto compositePixel = [&](std::size_t pixel) {
    const double inverse = inverseOf[counts[pixel]];
    for (std::size_t c = 0; c < 3; ++c) {
      const std::size_t channel = pixel * 3 + c;
      output[channel] = CompositeChannel(source[channel], accum[channel], inverse);
    }
  };
  std::size_t pixel = firstRow * scene.width + firstColumn;
  for (std::size_t row = firstRow; row < endRow; ++row, pixel += rowSkip) {
    std::size_t column = 0;
#if defined(__SSE2__)
    // Count 1, whose quotient is the whole sum, is met only next to the light.
    for (; column + 4 <= quadrantWidth; column += 4, pixel += 4) {
      // Four streams and the compute between them outpace the hardware's
      // own prefetching; ask for the lines some way ahead.
      const auto ahead = static_cast<std::ptrdiff_t>(pixel) + kPrefetchPixels;
      PrefetchLine(accum, ahead * 12, false);
      PrefetchLine(accum, ahead * 12 + 32, false);
      PrefetchLine(counts, ahead * 2, false);
      PrefetchLine(source, ahead * 3, false);
      PrefetchLine(output, ahead * 3, true);
      const std::uint16_t* four = counts + pixel;
      if (four[0] == 1 || four[1] == 1 || four[2] == 1 || four[3] == 1) {
        for (std::size_t k = 0; k < 4; ++k) compositePixel(pixel + k);
      } else {
        CompositeFourPixels(four, accum + pixel * 3, source + pixel * 3, output + pixel * 3, inverseOf);
      }
    }
#endif
    for (; column < quadrantWidth; ++column, ++pixel) compositePixel(pixel);
  }
  return 1;
}

template std::uint32_t CompositeQuadrant<AccumulationMode::Weighted>(void*);
template std::uint32_t CompositeQuadrant<AccumulationMode::Uniform>(void*);
