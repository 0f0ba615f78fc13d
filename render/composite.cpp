#include <algorithm>
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
#include "vector_level.h"
#include "x86_vectors.h"

namespace {

constexpr std::ptrdiff_t kPrefetchPixels = 128;

// One channel: the source plus the normalised sum, both reduced to 16 bits,
// clamped to 255.
inline std::uint8_t CompositeChannel(std::uint8_t source, std::uint32_t sum, double inverse) {
  const auto quotient = static_cast<std::uint16_t>(QuotientByInverse(sum, inverse));
  const auto value = static_cast<std::uint16_t>(source + quotient);
  return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

// The light added to a channel for each quotient, under the user's strength
// and tint: entry 3 q + c for channel c (B, G, R). Built before a frame's
// compositing whenever they differ from those it was built for.
// Static, so that no frame can fail for want of memory; its pages are
// touched only once the light is shaped.
struct LightTable {
  std::uint16_t strength = 100;
  std::uint8_t tint[3] = {255, 255, 255};
  bool built = false;
  std::uint32_t added[65536 * 3];
};
LightTable lightTable;

// One channel as the user shaped it: the quotient's 16 bits through the
// table, added to the source byte (0 for the rays alone), reduced to 16
// bits, clamped to 255; or screened with it.
template <bool screen = false>
inline std::uint8_t ShapedChannel(std::uint8_t source, std::uint32_t sum, double inverse,
                                  std::size_t channel, const std::uint32_t* added) {
  const std::uint32_t quotient = QuotientByInverse(sum, inverse) & 0xFFFF;
  if constexpr (screen) return static_cast<std::uint8_t>(Screen(source, added[quotient * 3 + channel]));
  const auto value = static_cast<std::uint16_t>(source + added[quotient * 3 + channel]);
  return static_cast<std::uint8_t>(value > 255 ? 255 : value);
}

// The tint of kLanes consecutive channels from one of channel first % 3
// (B, G, R of consecutive pixels), as integers and as floats, for loading
// into lanes.
template <std::size_t kLanes>
struct TintLanes {
  alignas(64) std::int32_t integers[kLanes];
  alignas(64) float floats[kLanes];

  TintLanes(const LightSettings& settings, int first) {
    for (std::size_t k = 0; k < kLanes; ++k) {
      integers[k] = settings.tint[(static_cast<std::size_t>(first) + k) % 3];
      floats[k] = static_cast<float>(integers[k]);
    }
  }
};

#if defined(__SSE2__)
// The strength and tint in single-precision lanes, for quotients up to 255
// (ShapedLightOfSmallQuotient): lanes of vector v hold channels 4 v to
// 4 v + 3 of four pixels, each the tint of its own colour.
struct SmallLightLanes {
  __m128 strength;
  __m128 tint[3];

  explicit SmallLightLanes(const LightSettings& settings) {
    strength = _mm_set1_ps(static_cast<float>(settings.strength));
    for (int v = 0; v < 3; ++v) tint[v] = _mm_load_ps(TintLanes<4>(settings, 4 * v).floats);
  }
};

// The twelve channels of four pixels at once, exactly as CompositeChannel,
// for counts other than 1: with a divisor of 2 or more every quotient stays
// below 2^31 and converts as a signed 32-bit integer. Shaped, as
// ShapedChannel with the table `added` and the source bytes masked by
// sourceMask, screened or added.
template <bool shaped, bool screen = false>
inline void CompositeFourPixels(const std::uint16_t* counts, const std::uint32_t* accum,
                                const std::uint8_t* source, std::uint8_t* output,
                                const InverseTable& inverseOf, const std::uint32_t* added,
                                std::uint64_t sourceMask, const SmallLightLanes* lanes) {
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
  __m128i low = _mm_packs_epi32(q0, q1);
  __m128i high = _mm_packs_epi32(q2, zero);
  const __m128i small = _mm_or_si128(_mm_or_si128(q0, q1), q2);
  if (shaped && _mm_movemask_epi8(_mm_cmpeq_epi32(_mm_srli_epi32(small, 8), zero)) == 0xFFFF) {
    // Quotients up to 255, as on every frame: ShapedLightOfSmallQuotient
    // in lanes, truncating as it converts.
    const __m128 fiftyAndAHalf = _mm_set1_ps(50.5f), roundingUp = _mm_set1_ps(127.5f);
    const __m128 hundredth = _mm_set1_ps(1.0f / 100), twoFiftyFifth = _mm_set1_ps(1.0f / 255);
    auto shapedLight = [&](__m128i q, int v) {
      const __m128i light = _mm_cvttps_epi32(
          _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(q), lanes->strength), fiftyAndAHalf), hundredth));
      return _mm_cvttps_epi32(
          _mm_mul_ps(_mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(light), lanes->tint[v]), roundingUp), twoFiftyFifth));
    };
    low = _mm_packs_epi32(shapedLight(q0, 0), shapedLight(q1, 1));
    high = _mm_packs_epi32(shapedLight(q2, 2), zero);
    sourceLow &= sourceMask;
    sourceHigh &= static_cast<std::uint32_t>(sourceMask);
  } else if constexpr (shaped) {
    // Each 16-bit quotient through the table, a channel at a time.
    alignas(16) std::uint16_t light[16];
    _mm_store_si128(reinterpret_cast<__m128i*>(light), low);
    _mm_store_si128(reinterpret_cast<__m128i*>(light + 8), high);
    for (std::size_t c = 0; c < 12; ++c) light[c] = static_cast<std::uint16_t>(added[light[c] * 3u + c % 3]);
    low = _mm_load_si128(reinterpret_cast<const __m128i*>(light));
    high = _mm_load_si128(reinterpret_cast<const __m128i*>(light + 8));
    sourceLow &= sourceMask;
    sourceHigh &= static_cast<std::uint32_t>(sourceMask);
  }
  // s + a - (s a + 127) / 255 with a = min(light, 255), as Screen.
  auto screened = [&](__m128i sourceBytes, __m128i light16) {
    const __m128i s = _mm_unpacklo_epi8(sourceBytes, zero);
    const __m128i a = _mm_sub_epi16(light16, _mm_subs_epu16(light16, limit));
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(s, a), _mm_set1_epi16(128));
    const __m128i product = _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
    return _mm_sub_epi16(_mm_add_epi16(s, a), product);
  };
  const __m128i sourceFirst = _mm_cvtsi64_si128(static_cast<long long>(sourceLow));
  const __m128i sourceLast = _mm_cvtsi32_si128(static_cast<int>(sourceHigh));
  const __m128i first = screen ? screened(sourceFirst, low) : clamped(sourceFirst, low);
  const __m128i last = screen ? screened(sourceLast, high) : clamped(sourceLast, high);
  const __m128i bytes = _mm_packus_epi16(first, last);
  const auto outputLow = static_cast<std::uint64_t>(_mm_cvtsi128_si64(bytes));
  const auto outputHigh = static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(bytes, 8)));
  std::memcpy(output, &outputLow, 8);
  std::memcpy(output + 8, &outputHigh, 4);
}
#endif

#if GLINTOR_X86_VECTORS

// Screen (s + a - (s a + 127) / 255) in every 32-bit lane, of source
// bytes s and light a <= 255: both factors are bytes, so the 16-bit
// multiply gives the whole product.
GLINTOR_AVX512 inline __m512i ScreenLanes(__m512i s, __m512i a) {
  const __m512i t = _mm512_add_epi32(_mm512_mullo_epi16(s, a), _mm512_set1_epi32(128));
  return _mm512_sub_epi32(_mm512_add_epi32(s, a), _mm512_srli_epi32(_mm512_add_epi32(t, _mm512_srli_epi32(t, 8)), 8));
}
GLINTOR_AVX2 inline __m256i ScreenLanes(__m256i s, __m256i a) {
  const __m256i t = _mm256_add_epi32(_mm256_mullo_epi16(s, a), _mm256_set1_epi32(128));
  return _mm256_sub_epi32(_mm256_add_epi32(s, a), _mm256_srli_epi32(_mm256_add_epi32(t, _mm256_srli_epi32(t, 8)), 8));
}

// DivideByConstant in every 32-bit lane, with 64-bit products.
template <int shift>
GLINTOR_AVX512 inline __m512i DivideLanes(__m512i x, __m512i multiplier) {
  const __m512i even = _mm512_srli_epi64(_mm512_mul_epu32(x, multiplier), shift);
  // The odd lanes' quotients land in the upper halves of the 64-bit lanes.
  const __m512i odd = _mm512_srli_epi64(_mm512_mul_epu32(_mm512_srli_epi64(x, 32), multiplier), shift - 32);
  return _mm512_mask_blend_epi32(0xAAAA, even, odd);
}

// DivideByConstant in every 32-bit lane, with 64-bit products.
template <int shift>
GLINTOR_AVX2 inline __m256i DivideLanes(__m256i x, __m256i multiplier) {
  const __m256i even = _mm256_srli_epi64(_mm256_mul_epu32(x, multiplier), shift);
  const __m256i odd = _mm256_srli_epi64(_mm256_mul_epu32(_mm256_srli_epi64(x, 32), multiplier), shift - 32);
  return _mm256_blend_epi32(even, odd, 0xAA);
}

// Eight pixels at a time, exactly as ShapedChannel, on processors with AVX2
// but not AVX-512; the plain compositing needs no more than SSE2 to keep up
// with memory, the shaped one does. A group of eight with a count of 1 goes
// a channel at a time. Returns how many of the count pixels from pixel on it
// composited.
template <bool screen>
GLINTOR_AVX2 std::size_t CompositeShapedAvx2(std::size_t pixel, std::size_t count, const InverseTable& inverseOf,
                                             const std::uint32_t* added, std::uint8_t sourceMask) {
  const std::uint16_t* const counts = scene.counts;
  const std::uint32_t* const accum = scene.accum;
  const std::uint8_t* const source = scene.source;
  std::uint8_t* const output = scene.output;
  const LightSettings& settings = scene.settings;
  __m256i tintOf[3];  // channel 8 v + k is channel (2 v + k) % 3 of its pixel
  __m256 tintInFloat[3];
  for (int v = 0; v < 3; ++v) {
    const TintLanes<8> lanes(settings, 2 * v);
    tintOf[v] = _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes.integers));
    tintInFloat[v] = _mm256_load_ps(lanes.floats);
  }
  const __m256i strength = _mm256_set1_epi32(settings.strength);
  const __m256 strengthInFloat = _mm256_set1_ps(static_cast<float>(settings.strength));
  const __m256 fiftyAndAHalf = _mm256_set1_ps(50.5f), roundingUp = _mm256_set1_ps(127.5f);
  const __m256 hundredth = _mm256_set1_ps(1.0f / 100), twoFiftyFifth = _mm256_set1_ps(1.0f / 255);
  const __m256i byHundred = _mm256_set1_epi32(static_cast<int>(kByHundred.multiplier));
  const __m256i byTwoFiftyFive = _mm256_set1_epi32(static_cast<int>(kByTwoFiftyFive.multiplier));
  const __m256i lowBits = _mm256_set1_epi32(0xFFFF);
  const __m256i limit = _mm256_set1_epi32(255);
  const __m256i keptSource = _mm256_set1_epi32(sourceMask);
  // As in CompositeFourPixels: unsigned sums through the signed conversion.
  const __m256i signBit = _mm256_set1_epi32(INT32_MIN);
  const __m256d offset = _mm256_set1_pd(2147483648.5);
  // The low byte of each lane, in order, in the low eight bytes.
  const __m256i lowBytes = _mm256_setr_epi8(0, 4, 8, 12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0, 4, 8,
                                            12, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
  const __m256i joinHalves = _mm256_setr_epi32(0, 4, 1, 1, 1, 1, 1, 1);
  std::size_t done = 0;
  for (; done + 8 <= count; done += 8, pixel += 8) {
    const auto ahead = static_cast<std::ptrdiff_t>(pixel) + kPrefetchPixels;
    for (std::ptrdiff_t line = 0; line < 96; line += 64) PrefetchLine(accum, ahead * 12 + line, false);
    PrefetchLine(counts, ahead * 2, false);
    PrefetchLine(source, ahead * 3, false);
    PrefetchLine(output, ahead * 3, true);
    const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(counts + pixel));
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(eight, _mm_set1_epi16(1))) != 0) {
      for (std::size_t channel = pixel * 3; channel < pixel * 3 + 24; ++channel) {
        output[channel] = ShapedChannel<screen>(source[channel] & sourceMask, accum[channel],
                                                inverseOf[counts[channel / 3]], channel % 3, added);
      }
      continue;
    }
    const __m256i divisors = _mm256_cvtepu16_epi32(eight);
    const __m256d low = _mm256_i32gather_pd(inverseOf.data(), _mm256_castsi256_si128(divisors), 8);
    const __m256d high = _mm256_i32gather_pd(inverseOf.data(), _mm256_extracti128_si256(divisors, 1), 8);
    // Channels 4 g to 4 g + 3 belong to pixels (4 g) / 3 to (4 g + 3) / 3.
    const __m256d inverse[6] = {_mm256_permute4x64_pd(low, 0x40),  _mm256_permute4x64_pd(low, 0xA5),
                                _mm256_permute4x64_pd(low, 0xFE),  _mm256_permute4x64_pd(high, 0x40),
                                _mm256_permute4x64_pd(high, 0xA5), _mm256_permute4x64_pd(high, 0xFE)};
    for (int v = 0; v < 3; ++v) {
      const __m256i sums =
          _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(accum + pixel * 3 + 8 * v)), signBit);
      const __m128i first = _mm256_cvttpd_epi32(
          _mm256_mul_pd(_mm256_add_pd(_mm256_cvtepi32_pd(_mm256_castsi256_si128(sums)), offset), inverse[2 * v]));
      const __m128i second = _mm256_cvttpd_epi32(
          _mm256_mul_pd(_mm256_add_pd(_mm256_cvtepi32_pd(_mm256_extracti128_si256(sums, 1)), offset), inverse[2 * v + 1]));
      const __m256i quotient = _mm256_inserti128_si256(_mm256_castsi128_si256(first), second, 1);
      __m256i lightAdded;
      // With counts of 2 or more the quotients stay below 2^31: compared as signed.
      if (_mm256_movemask_epi8(_mm256_cmpgt_epi32(quotient, limit)) == 0) {
        // Quotients up to 255, as on every frame: ShapedLightOfSmallQuotient.
        const __m256 light = _mm256_round_ps(
            _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(_mm256_cvtepi32_ps(quotient), strengthInFloat), fiftyAndAHalf),
                          hundredth),
            _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
        lightAdded = _mm256_cvttps_epi32(
            _mm256_mul_ps(_mm256_add_ps(_mm256_mul_ps(light, tintInFloat[v]), roundingUp), twoFiftyFifth));
      } else {
        // min((q k + 50) / 100, 65535), then (a t + 127) / 255.
        const __m256i scaled = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_and_si256(quotient, lowBits), strength),
                                                _mm256_set1_epi32(50));
        const __m256i light = _mm256_min_epu32(DivideLanes<kByHundred.shift>(scaled, byHundred), lowBits);
        const __m256i tinted = _mm256_add_epi32(_mm256_mullo_epi32(light, tintOf[v]), _mm256_set1_epi32(127));
        lightAdded = DivideLanes<kByTwoFiftyFive.shift>(tinted, byTwoFiftyFive);
      }
      const __m256i bytes = _mm256_and_si256(
          _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(source + pixel * 3 + 8 * v))),
          keptSource);
      const __m256i value =
          screen ? ScreenLanes(bytes, _mm256_min_epu32(lightAdded, limit))
                 : _mm256_min_epu32(_mm256_and_si256(_mm256_add_epi32(bytes, lightAdded), lowBits), limit);
      const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(value, lowBytes), joinHalves);
      _mm_storel_epi64(reinterpret_cast<__m128i*>(output + pixel * 3 + 8 * v), _mm256_castsi256_si128(packed));
    }
  }
  return done;
}

// Sixteen pixels at a time, exactly as CompositeChannel for every count (or
// ShapedChannel): the conversions are unsigned, so a count of 1 needs no
// exception. Returns how many of the count pixels from pixel on it
// composited.
template <bool shaped, bool screen = false>
GLINTOR_AVX512 std::size_t CompositeAvx512(std::size_t pixel, std::size_t count, const InverseTable& inverseOf,
                                           std::uint8_t sourceMask) {
  const std::uint16_t* const counts = scene.counts;
  const std::uint32_t* const accum = scene.accum;
  const std::uint8_t* const source = scene.source;
  std::uint8_t* const output = scene.output;
  // Channel k of the sixteen pixels belongs to pixel k / 3: eight channels
  // at a time, from the inverses of pixels 0-7 and 8-15.
  const __m512i pixelOf[3] = {_mm512_setr_epi64(0, 0, 0, 1, 1, 1, 2, 2), _mm512_setr_epi64(2, 3, 3, 3, 4, 4, 4, 5),
                              _mm512_setr_epi64(5, 5, 6, 6, 6, 7, 7, 7)};
  const __m512d half = _mm512_set1_pd(0.5);
  const __m512i lowBits = _mm512_set1_epi32(0xFFFF);
  const __m512i limit = _mm512_set1_epi32(255);
  // Shaped: channel 16 part + k is channel (part + k) % 3 of its pixel.
  const LightSettings& settings = scene.settings;
  __m512i tintOf[3];
  __m512 tintInFloat[3];
  for (int part = 0; part < 3; ++part) {
    const TintLanes<16> lanes(settings, part);
    tintOf[part] = _mm512_load_si512(lanes.integers);
    tintInFloat[part] = _mm512_load_ps(lanes.floats);
  }
  const __m512i strength = _mm512_set1_epi32(settings.strength);
  const __m512 strengthInFloat = _mm512_set1_ps(static_cast<float>(settings.strength));
  const __m512 fiftyAndAHalf = _mm512_set1_ps(50.5f), roundingUp = _mm512_set1_ps(127.5f);
  const __m512 hundredth = _mm512_set1_ps(1.0f / 100), twoFiftyFifth = _mm512_set1_ps(1.0f / 255);
  const __m512i byHundred = _mm512_set1_epi32(static_cast<int>(kByHundred.multiplier));
  const __m512i byTwoFiftyFive = _mm512_set1_epi32(static_cast<int>(kByTwoFiftyFive.multiplier));
  const __m512i keptSource = _mm512_set1_epi32(sourceMask);
  std::size_t done = 0;
  for (; done + 16 <= count; done += 16, pixel += 16) {
    const auto ahead = static_cast<std::ptrdiff_t>(pixel) + kPrefetchPixels;
    for (std::ptrdiff_t line = 0; line < 192; line += 64) PrefetchLine(accum, ahead * 12 + line, false);
    PrefetchLine(counts, ahead * 2, false);
    PrefetchLine(source, ahead * 3, false);
    PrefetchLine(output, ahead * 3, true);
    const __m512i divisors = _mm512_cvtepu16_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(counts + pixel)));
    const __m512d inverses[2] = {_mm512_i32gather_pd(_mm512_castsi512_si256(divisors), inverseOf.data(), 8),
                                 _mm512_i32gather_pd(_mm512_extracti64x4_epi64(divisors, 1), inverseOf.data(), 8)};
    for (int part = 0; part < 3; ++part) {
      // Channels 16 * part to 16 * part + 15.
      const __m512i sums = _mm512_loadu_si512(accum + pixel * 3 + 16 * part);
      __m256i quotients[2];
      for (int half8 = 0; half8 < 2; ++half8) {
        const int group = 2 * part + half8;
        const __m512d inverse = _mm512_permutexvar_pd(pixelOf[group % 3], inverses[group / 3]);
        const __m256i x = half8 == 0 ? _mm512_castsi512_si256(sums) : _mm512_extracti64x4_epi64(sums, 1);
        quotients[half8] = _mm512_cvttpd_epu32(_mm512_mul_pd(_mm512_add_pd(_mm512_cvtepu32_pd(x), half), inverse));
      }
      __m512i quotient = _mm512_inserti64x4(_mm512_castsi256_si512(quotients[0]), quotients[1], 1);
      __m512i bytes =
          _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(source + pixel * 3 + 16 * part)));
      if constexpr (shaped) {
        if (_mm512_cmpgt_epu32_mask(quotient, limit) == 0) {
          // Quotients up to 255, as on every frame: ShapedLightOfSmallQuotient.
          const __m512 light = _mm512_roundscale_ps(
              _mm512_mul_ps(_mm512_add_ps(_mm512_mul_ps(_mm512_cvtepi32_ps(quotient), strengthInFloat), fiftyAndAHalf),
                            hundredth),
              _MM_FROUND_TO_ZERO | _MM_FROUND_NO_EXC);
          quotient = _mm512_cvttps_epi32(
              _mm512_mul_ps(_mm512_add_ps(_mm512_mul_ps(light, tintInFloat[part]), roundingUp), twoFiftyFifth));
        } else {
          // min((q k + 50) / 100, 65535), then (a t + 127) / 255.
          const __m512i scaled = _mm512_add_epi32(
              _mm512_mullo_epi32(_mm512_and_si512(quotient, lowBits), strength), _mm512_set1_epi32(50));
          const __m512i light = _mm512_min_epu32(DivideLanes<kByHundred.shift>(scaled, byHundred), lowBits);
          const __m512i tinted = _mm512_add_epi32(_mm512_mullo_epi32(light, tintOf[part]), _mm512_set1_epi32(127));
          quotient = DivideLanes<kByTwoFiftyFive.shift>(tinted, byTwoFiftyFive);
        }
        bytes = _mm512_and_si512(bytes, keptSource);
      }
      // The 16-bit quotient and the source byte add modulo 2^16, then clamp;
      // or screen.
      const __m512i value =
          screen ? ScreenLanes(bytes, _mm512_min_epu32(quotient, limit))
                 : _mm512_min_epu32(_mm512_and_si512(_mm512_add_epi32(bytes, quotient), lowBits), limit);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(output + pixel * 3 + 16 * part), _mm512_cvtepi32_epi8(value));
    }
  }
  return done;
}
#endif

// The rows of one quadrant: `rows` of `width` pixels from `first` on, a
// picture's row apart.
struct QuadrantRows {
  std::size_t first;
  std::size_t rows;
  std::size_t width;
};

template <bool shaped, bool screen = false>
void CompositeRows(QuadrantRows quadrant, const InverseTable& inverseOf, const std::uint32_t* added,
                   std::uint8_t sourceMask) {
  const std::uint16_t* const counts = scene.counts;
  const std::uint32_t* const accum = scene.accum;
  const std::uint8_t* const source = scene.source;
  std::uint8_t* const output = scene.output;

  auto compositePixel = [&](std::size_t pixel) {
    const double inverse = inverseOf[counts[pixel]];
    for (std::size_t c = 0; c < 3; ++c) {
      const std::size_t channel = pixel * 3 + c;
      if constexpr (shaped) {
        output[channel] = ShapedChannel<screen>(source[channel] & sourceMask, accum[channel], inverse, c, added);
      } else {
        output[channel] = CompositeChannel(source[channel], accum[channel], inverse);
      }
    }
  };
#if GLINTOR_X86_VECTORS
  const bool avx512 = UsedVectorLevel() == VectorLevel::Avx512;
  const bool avx2 = UsedVectorLevel() == VectorLevel::Avx2;
#endif
#if defined(__SSE2__)
  const SmallLightLanes lanes(scene.settings);
#endif
  const std::size_t rowSkip = scene.width - quadrant.width;
  std::size_t pixel = quadrant.first;
  for (std::size_t row = 0; row < quadrant.rows; ++row, pixel += rowSkip) {
    std::size_t column = 0;
#if GLINTOR_X86_VECTORS
    if (avx512) {
      const std::size_t done = CompositeAvx512<shaped, screen>(pixel, quadrant.width, inverseOf, sourceMask);
      column += done;
      pixel += done;
    } else if (shaped && avx2) {
      const std::size_t done = CompositeShapedAvx2<screen>(pixel, quadrant.width, inverseOf, added, sourceMask);
      column += done;
      pixel += done;
    }
#endif
#if defined(__SSE2__)
    // Count 1, whose quotient is the whole sum, is met only next to the light.
    for (; column + 4 <= quadrant.width; column += 4, pixel += 4) {
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
        CompositeFourPixels<shaped, screen>(four, accum + pixel * 3, source + pixel * 3, output + pixel * 3, inverseOf,
                                            added, sourceMask * std::uint64_t{0x0101010101010101}, &lanes);
      }
    }
#endif
    for (; column < quadrant.width; ++column, ++pixel) compositePixel(pixel);
  }
}

bool Unshaped(const LightSettings& settings) {
  return settings.strength == 100 && settings.tint[0] == 255 && settings.tint[1] == 255 &&
         settings.tint[2] == 255 && settings.view == ShownView::Final && settings.blend == Blend::Add;
}

}  // namespace

void PrepareCompositing() {
  const LightSettings& settings = scene.settings;
  if (Unshaped(settings) || settings.view == ShownView::Emission) return;
  if (lightTable.built && lightTable.strength == settings.strength &&
      std::equal(lightTable.tint, lightTable.tint + 3, settings.tint)) {
    return;
  }
  lightTable.built = true;
  lightTable.strength = settings.strength;
  std::copy(settings.tint, settings.tint + 3, lightTable.tint);
  for (std::uint32_t quotient = 0; quotient < 65536; ++quotient) {
    const std::uint32_t light = std::min<std::uint32_t>((quotient * settings.strength + 50) / 100, 65535);
    for (std::uint32_t c = 0; c < 3; ++c) {
      lightTable.added[quotient * 3 + c] = (light * settings.tint[c] + 127) / 255;
    }
  }
}

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
  const QuadrantRows rows{firstRow * scene.width + firstColumn, endRow - firstRow, quadrantWidth};

  const LightSettings& settings = scene.settings;
  if (settings.view == ShownView::Emission) {
    // What casts light, as it is.
    const std::uint8_t* const emission = CastSource();
    for (std::size_t row = 0; row < rows.rows; ++row) {
      const std::size_t offset = (rows.first + row * scene.width) * 3;
      std::memcpy(scene.output + offset, emission + offset, rows.width * 3);
    }
    return 1;
  }
  // Filled once, on first use, by whichever compositing thread comes first;
  // static, so that no frame can fail for want of memory.
  static InverseTable inverses;
  static const bool filled = (FillInverseTable(inverses, mode == AccumulationMode::Weighted), true);
  static_cast<void>(filled);
  if (Unshaped(settings)) {
    CompositeRows<false>(rows, inverses, nullptr, 0xFF);
  } else if (settings.view == ShownView::Rays) {
    // The light alone: screened onto black, it is added.
    CompositeRows<true>(rows, inverses, lightTable.added, 0x00);
  } else if (settings.blend == Blend::Screen) {
    CompositeRows<true, true>(rows, inverses, lightTable.added, 0xFF);
  } else {
    CompositeRows<true>(rows, inverses, lightTable.added, 0xFF);
  }
  return 1;
}

template std::uint32_t CompositeQuadrant<AccumulationMode::Weighted>(void*);
template std::uint32_t CompositeQuadrant<AccumulationMode::Uniform>(void*);
