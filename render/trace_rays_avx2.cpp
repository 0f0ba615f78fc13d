#include "x86_vectors.h"

#if GLINTOR_X86_VECTORS

#include <array>
#include <cstdint>

#include "lane_walk.h"
#include "scene_state.h"

namespace {

constexpr int kLanes = 8;

// For every 8-bit mask, the numbers of the lanes it selects, packed to the
// front, one byte each.
constexpr auto kSelectedLanes = [] {
  std::array<std::uint64_t, 256> table{};
  for (unsigned mask = 0; mask < 256; ++mask) {
    int slot = 0;
    for (unsigned lane = 0; lane < kLanes; ++lane)
      if (mask & (1u << lane)) table[mask] |= std::uint64_t{lane} << (8 * slot++);
  }
  return table;
}();

GLINTOR_AVX2 inline __m256i LoadLanes(const std::int32_t* lanes) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
}

template <typename T>
GLINTOR_AVX2 inline void StoreLanes(T* lanes, __m256i values) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), values);
}

struct Avx2Lanes {
  static constexpr int kLanes = 8;

  struct Group {
    __m256i position, error, minorLength, length, majorStep, minorStep, blockAhead, beforeEntry;
    __m256i blue, green, red;
    __m256i lastRay;  // all ones in the lane of the group's last ray
  };

  GLINTOR_AVX2 static void Start(Group& group, const LaneRays<kLanes>& rays, int count) {
    group.position = LoadLanes(rays.position);
    group.error = LoadLanes(rays.error);
    group.beforeEntry = LoadLanes(rays.beforeEntry);
    group.minorLength = LoadLanes(rays.minorLength);
    group.length = LoadLanes(rays.length);
    group.majorStep = LoadLanes(rays.majorStep);
    group.minorStep = LoadLanes(rays.minorStep);
    group.blockAhead = LoadLanes(rays.blockAhead);
    group.blue = group.green = group.red = _mm256_setzero_si256();
    group.lastRay = _mm256_cmpeq_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(count - 1));
  }

  GLINTOR_AVX2 static void Write(WriteQueue<kLanes>& queue) { WriteQueued(queue); }

  template <AccumulationMode mode, bool fromOutside>
  GLINTOR_AVX2 static void Walk(Group& group, std::uint32_t first, std::uint32_t last, std::int32_t* nextRay,
                                WriteQueue<kLanes>& queue) {
    const std::uint8_t* const source = CastSource();
    // A pixel's three bytes are read as four; the last pixel's read starts
    // one byte earlier and is shifted back, so no read passes the buffer's end.
    const __m256i lastRead = _mm256_set1_epi32(static_cast<std::int32_t>(PixelCount() * 3 - 4));
    const __m256i nextLane = _mm256_setr_epi32(1, 2, 3, 4, 5, 6, 7, 7);
    const __m256i allOnes = _mm256_set1_epi32(-1);
    const __m256i byteMask = _mm256_set1_epi32(0xFF);
    const __m256i one = _mm256_set1_epi32(1);

    __m256i position = group.position, error = group.error;
    __m256i blue = group.blue, green = group.green, red = group.red;
    for (std::uint32_t i = first; i <= last; ++i) {
      const __m256i step = _mm256_set1_epi32(static_cast<std::int32_t>(i));
      position = _mm256_add_epi32(position, group.majorStep);
      error = _mm256_add_epi32(error, group.minorLength);
      // A minor step falls due where error >= length.
      const __m256i noMinorStep = _mm256_cmpgt_epi32(group.length, error);
      position = _mm256_add_epi32(position, _mm256_andnot_si256(noMinorStep, group.minorStep));
      error = _mm256_sub_epi32(error, _mm256_andnot_si256(noMinorStep, group.length));
      __m256i onRay = _mm256_cmpgt_epi32(_mm256_add_epi32(group.length, one), step);
      // Steps count from each lane's entry into the picture.
      __m256i counted = step;
      if constexpr (fromOutside) {
        onRay = _mm256_and_si256(onRay, _mm256_cmpgt_epi32(step, group.beforeEntry));
        counted = _mm256_sub_epi32(step, group.beforeEntry);
      }

      const __m256i offset = _mm256_add_epi32(position, _mm256_add_epi32(position, position));
      const __m256i read = _mm256_min_epi32(offset, lastRead);
      const __m256i bytes = _mm256_srlv_epi32(
          _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(source), read, onRay, 1),
          _mm256_slli_epi32(_mm256_sub_epi32(offset, read), 3));
      __m256i b = _mm256_and_si256(bytes, byteMask);
      __m256i g = _mm256_and_si256(_mm256_srli_epi32(bytes, 8), byteMask);
      __m256i r = _mm256_and_si256(_mm256_srli_epi32(bytes, 16), byteMask);
      if constexpr (mode == AccumulationMode::Weighted) {
        // Wrapping modulo 2^32, as the scalar sums do.
        b = _mm256_mullo_epi32(b, counted);
        g = _mm256_mullo_epi32(g, counted);
        r = _mm256_mullo_epi32(r, counted);
      }
      blue = _mm256_add_epi32(blue, b);
      green = _mm256_add_epi32(green, g);
      red = _mm256_add_epi32(red, r);

      // Where each lane's next ray is; -1, never a pixel, off the ray.
      const __m256i here = _mm256_or_si256(position, _mm256_xor_si256(onRay, allOnes));
      const __m256i next = _mm256_blendv_epi8(_mm256_permutevar8x32_epi32(here, nextLane),
                                              _mm256_set1_epi32(nextRay[i - first]), group.lastRay);
      nextRay[i - first] = _mm256_cvtsi256_si32(here);
      const __m256i repeated = _mm256_cmpeq_epi32(position, next);
      const auto writes = static_cast<unsigned>(
          _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_andnot_si256(repeated, onRay))));

      const __m256i selected = _mm256_cvtepu8_epi32(
          _mm_loadl_epi64(reinterpret_cast<const __m128i*>(&kSelectedLanes[writes])));
      const int at = queue.size;
      StoreLanes(queue.position + at, _mm256_permutevar8x32_epi32(position, selected));
      StoreLanes(queue.step + at, fromOutside ? _mm256_permutevar8x32_epi32(counted, selected) : step);
      StoreLanes(queue.later + at,
                 _mm256_permutevar8x32_epi32(_mm256_add_epi32(position, group.blockAhead), selected));
      StoreLanes(queue.blue + at, _mm256_permutevar8x32_epi32(blue, selected));
      StoreLanes(queue.green + at, _mm256_permutevar8x32_epi32(green, selected));
      StoreLanes(queue.red + at, _mm256_permutevar8x32_epi32(red, selected));
      queue.size = at + __builtin_popcount(writes);
    }
    group.position = position;
    group.error = error;
    group.blue = blue;
    group.green = green;
    group.red = red;
  }
};

}  // namespace

template <AccumulationMode mode>
void TraceRaysAvx2(const RayTarget* targets, int count, const RayTarget* following) {
  TraceRaysInGroups<Avx2Lanes, mode>(targets, count, following);
}

template void TraceRaysAvx2<AccumulationMode::Weighted>(const RayTarget*, int, const RayTarget*);
template void TraceRaysAvx2<AccumulationMode::Uniform>(const RayTarget*, int, const RayTarget*);

#endif
