#include "x86_vectors.h"

#if GLINTOR_X86_VECTORS

#include <cstdint>

#include "lane_walk.h"
#include "scene_state.h"

namespace {

// As the AVX2 kernel, sixteen rays at a time, with mask registers in place
// of lane masks and compress in place of the table of lane selections.
struct Avx512Lanes {
  static constexpr int kLanes = 16;

  struct Group {
    __m512i position, error, minorLength, length, majorStep, minorStep, blockAhead, beforeEntry;
    __m512i blue, green, red;
    __mmask16 lastRay;  // the lane of the group's last ray
  };

  GLINTOR_AVX512 static void Start(Group& group, const LaneRays<kLanes>& rays, int count) {
    group.position = _mm512_load_si512(rays.position);
    group.error = _mm512_load_si512(rays.error);
    group.beforeEntry = _mm512_load_si512(rays.beforeEntry);
    group.minorLength = _mm512_load_si512(rays.minorLength);
    group.length = _mm512_load_si512(rays.length);
    group.majorStep = _mm512_load_si512(rays.majorStep);
    group.minorStep = _mm512_load_si512(rays.minorStep);
    group.blockAhead = _mm512_load_si512(rays.blockAhead);
    group.blue = group.green = group.red = _mm512_setzero_si512();
    group.lastRay = static_cast<__mmask16>(1u << (count - 1));
  }

  GLINTOR_AVX512 static void Write(WriteQueue<kLanes>& queue) { WriteQueued(queue); }

  template <AccumulationMode mode, bool fromOutside>
  GLINTOR_AVX512 static void Walk(Group& group, std::uint32_t first, std::uint32_t last, std::int32_t* nextRay,
                                  WriteQueue<kLanes>& queue) {
    const std::uint8_t* const source = CastSource();
    // Reads of four bytes for three, the last one shifted back, as in AVX2.
    const __m512i lastRead = _mm512_set1_epi32(static_cast<std::int32_t>(PixelCount() * 3 - 4));
    const __m512i nextLane = _mm512_setr_epi32(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 15);
    const __m512i allOnes = _mm512_set1_epi32(-1);
    const __m512i byteMask = _mm512_set1_epi32(0xFF);

    __m512i position = group.position, error = group.error;
    __m512i blue = group.blue, green = group.green, red = group.red;
    for (std::uint32_t i = first; i <= last; ++i) {
      const __m512i step = _mm512_set1_epi32(static_cast<std::int32_t>(i));
      position = _mm512_add_epi32(position, group.majorStep);
      error = _mm512_add_epi32(error, group.minorLength);
      const __mmask16 minorStep = _mm512_cmpge_epi32_mask(error, group.length);
      position = _mm512_mask_add_epi32(position, minorStep, position, group.minorStep);
      error = _mm512_mask_sub_epi32(error, minorStep, error, group.length);
      __mmask16 onRay = _mm512_cmple_epi32_mask(step, group.length);
      // Steps count from each lane's entry into the picture.
      __m512i counted = step;
      if constexpr (fromOutside) {
        onRay = _mm512_mask_cmpgt_epi32_mask(onRay, step, group.beforeEntry);
        counted = _mm512_sub_epi32(step, group.beforeEntry);
      }

      const __m512i offset = _mm512_add_epi32(position, _mm512_add_epi32(position, position));
      const __m512i read = _mm512_min_epi32(offset, lastRead);
      const __m512i bytes =
          _mm512_srlv_epi32(_mm512_mask_i32gather_epi32(_mm512_setzero_si512(), onRay, read, source, 1),
                            _mm512_slli_epi32(_mm512_sub_epi32(offset, read), 3));
      __m512i b = _mm512_and_si512(bytes, byteMask);
      __m512i g = _mm512_and_si512(_mm512_srli_epi32(bytes, 8), byteMask);
      __m512i r = _mm512_and_si512(_mm512_srli_epi32(bytes, 16), byteMask);
      if constexpr (mode == AccumulationMode::Weighted) {
        b = _mm512_mullo_epi32(b, counted);
        g = _mm512_mullo_epi32(g, counted);
        r = _mm512_mullo_epi32(r, counted);
      }
      blue = _mm512_add_epi32(blue, b);
      green = _mm512_add_epi32(green, g);
      red = _mm512_add_epi32(red, r);

      const __m512i here = _mm512_mask_mov_epi32(allOnes, onRay, position);
      const __m512i next =
          _mm512_mask_set1_epi32(_mm512_permutexvar_epi32(nextLane, here), group.lastRay, nextRay[i - first]);
      nextRay[i - first] = _mm_cvtsi128_si32(_mm512_castsi512_si128(here));
      const __mmask16 writes = _mm512_mask_cmpneq_epi32_mask(onRay, position, next);

      // Compressing into a register and storing the whole vector is much
      // faster on some processors than a compressing store.
      const int at = queue.size;
      _mm512_storeu_si512(queue.position + at, _mm512_maskz_compress_epi32(writes, position));
      if constexpr (fromOutside) {
        _mm512_storeu_si512(queue.step + at, _mm512_maskz_compress_epi32(writes, counted));
      } else {
        _mm512_storeu_si512(queue.step + at, step);
      }
      _mm512_storeu_si512(queue.later + at,
                          _mm512_maskz_compress_epi32(writes, _mm512_add_epi32(position, group.blockAhead)));
      _mm512_storeu_si512(queue.blue + at, _mm512_maskz_compress_epi32(writes, blue));
      _mm512_storeu_si512(queue.green + at, _mm512_maskz_compress_epi32(writes, green));
      _mm512_storeu_si512(queue.red + at, _mm512_maskz_compress_epi32(writes, red));
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
void TraceRaysAvx512(const RayTarget* targets, int count, const RayTarget* following) {
  TraceRaysInGroups<Avx512Lanes, mode>(targets, count, following);
}

template void TraceRaysAvx512<AccumulationMode::Weighted>(const RayTarget*, int, const RayTarget*);
template void TraceRaysAvx512<AccumulationMode::Uniform>(const RayTarget*, int, const RayTarget*);

#endif
