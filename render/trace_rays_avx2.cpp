#include "ray_kernels.h"

#if GLINTOR_HAS_AVX2_KERNEL

#include <immintrin.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>

#include "scene_state.h"

// prefetchw asks for a line ready to be written; processors without it take
// the instruction as a no-op.
#define GLINTOR_AVX2 __attribute__((target("avx2,prfchw")))

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

// The pixel writes of one group of rays over one block of steps, each at a
// pixel where its ray is the last of the ring, so no two at the same pixel.
struct WriteQueue {
  static constexpr int kCapacity = kLanes * kStepBlock + kLanes;
  alignas(32) std::int32_t position[kCapacity];
  alignas(32) std::int32_t later[kCapacity];  // about where the ray will be a block later
  alignas(32) std::uint32_t step[kCapacity];
  alignas(32) std::uint32_t blue[kCapacity];
  alignas(32) std::uint32_t green[kCapacity];
  alignas(32) std::uint32_t red[kCapacity];
  int size = 0;
};

// Eight rays walked side by side, one per lane. Lanes without a ray stand
// still at the light and never write. The next ray of the group's last ray
// is lane 0 of the next group, or the ray after the batch.
struct GroupWalk {
  __m256i position, error, minorLength, length, majorStep, minorStep, blockAhead;
  __m256i blue, green, red;
  __m256i lastRay;  // all ones in the lane of the group's last ray
  std::uint32_t longest;
};

GLINTOR_AVX2 inline __m256i LoadLanes(const std::int32_t* lanes) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(lanes));
}

template <typename T>
GLINTOR_AVX2 inline void StoreLanes(T* lanes, __m256i values) {
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes), values);
}

GLINTOR_AVX2 void StartGroup(GroupWalk& group, const RayTarget* targets, int count) {
  alignas(32) std::int32_t minorLength[kLanes] = {}, length[kLanes] = {};
  alignas(32) std::int32_t majorStep[kLanes] = {}, minorStep[kLanes] = {}, blockAhead[kLanes] = {};
  group.longest = 0;
  for (int lane = 0; lane < count; ++lane) {
    const RayGeometry ray = MakeRayGeometry(targets[lane]);
    minorLength[lane] = static_cast<std::int32_t>(ray.minorLength);
    length[lane] = static_cast<std::int32_t>(ray.length);
    majorStep[lane] = static_cast<std::int32_t>(ray.majorStep);
    minorStep[lane] = static_cast<std::int32_t>(ray.minorStep);
    blockAhead[lane] = static_cast<std::int32_t>(BlockAhead(ray));
    group.longest = std::max(group.longest, ray.length);
  }
  group.position = _mm256_set1_epi32(static_cast<std::int32_t>(scene.lightIndex));
  group.error = _mm256_setzero_si256();
  group.minorLength = LoadLanes(minorLength);
  group.length = LoadLanes(length);
  group.majorStep = LoadLanes(majorStep);
  group.minorStep = LoadLanes(minorStep);
  group.blockAhead = LoadLanes(blockAhead);
  group.blue = group.green = group.red = _mm256_setzero_si256();
  group.lastRay = _mm256_cmpeq_epi32(_mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7), _mm256_set1_epi32(count - 1));
}

// Walks steps first to last of a group, queueing at every step only the
// writes that the next ray does not repeat at the same pixel: tracing the
// rays one after another, that ray would overwrite them. nextRay[i - first]
// holds where the ray after the group's last is at step i, -1 past its end;
// on return it holds the same for lane 0.
template <AccumulationMode mode>
GLINTOR_AVX2 void WalkGroup(GroupWalk& group, std::uint32_t first, std::uint32_t last,
                            std::int32_t* nextRay, WriteQueue& queue) {
  const std::uint8_t* const source = scene.source;
  // A pixel's three bytes are read as four; the last pixel's read starts one
  // byte earlier and is shifted back, so no read passes the buffer's end.
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
    const __m256i onRay = _mm256_cmpgt_epi32(_mm256_add_epi32(group.length, one), step);


    const __m256i offset = _mm256_add_epi32(position, _mm256_add_epi32(position, position));
    const __m256i read = _mm256_min_epi32(offset, lastRead);
    const __m256i bytes = _mm256_srlv_epi32(
        _mm256_mask_i32gather_epi32(_mm256_setzero_si256(), reinterpret_cast<const int*>(source),
                                    read, onRay, 1),
        _mm256_slli_epi32(_mm256_sub_epi32(offset, read), 3));
    __m256i b = _mm256_and_si256(bytes, byteMask);
    __m256i g = _mm256_and_si256(_mm256_srli_epi32(bytes, 8), byteMask);
    __m256i r = _mm256_and_si256(_mm256_srli_epi32(bytes, 16), byteMask);
    if constexpr (mode == AccumulationMode::Weighted) {
      // Wrapping modulo 2^32, as the scalar sums do.
      b = _mm256_mullo_epi32(b, step);
      g = _mm256_mullo_epi32(g, step);
      r = _mm256_mullo_epi32(r, step);
    }
    blue = _mm256_add_epi32(blue, b);
    green = _mm256_add_epi32(green, g);
    red = _mm256_add_epi32(red, r);

    // Where each lane's next ray is; -1, never a pixel, past a ray's end.
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
    StoreLanes(queue.step + at, step);
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

// Each write also asks for the lines its ray will need a block later: only
// one ray of those sharing a pixel asks, as only one writes.
GLINTOR_AVX2 void WriteQueued(WriteQueue& queue) {
  const WalkBuffers buffers = SceneWalkBuffers();
  for (int k = 0; k < queue.size; ++k) {
    const auto position = static_cast<std::size_t>(queue.position[k]);
    PrefetchPixel(buffers, queue.later[k]);
    StoreShared<std::uint8_t>(buffers.coverage[position], 1);
    StoreShared(buffers.counts[position], static_cast<std::uint16_t>(queue.step[k]));
    std::uint32_t* sum = buffers.accum + position * 3;
    StoreShared(sum[0], queue.blue[k]);
    StoreShared(sum[1], queue.green[k]);
    StoreShared(sum[2], queue.red[k]);
  }
  queue.size = 0;
}

}  // namespace

bool Avx2KernelUsable() {
  static const bool supported = __builtin_cpu_supports("avx2");
  const std::size_t bytes = PixelCount() * 3;
  return supported && bytes >= 4 && bytes <= std::size_t{INT32_MAX};
}

// As the scalar kernel, a block of steps at a time, last to first, with
// groups of eight rays in place of single rays.
template <AccumulationMode mode>
GLINTOR_AVX2 void TraceRaysAvx2(const RayTarget* targets, int count, const RayTarget* following) {
  GroupWalk groups[kRayBatch / kLanes];
  const int groupCount = (count + kLanes - 1) / kLanes;
  std::uint32_t longest = 0;
  for (int k = 0; k < groupCount; ++k) {
    StartGroup(groups[k], targets + k * kLanes, std::min(kLanes, count - k * kLanes));
    longest = std::max(longest, groups[k].longest);
  }
  PositionWalk next = StartPositionWalk(following);
  WriteQueue queue;
  for (std::uint32_t first = 1; first <= longest; first += kStepBlock) {
    const std::uint32_t blockLast = std::min(longest, first + kStepBlock - 1);
    std::int32_t nextRay[kStepBlock];
    WalkPositions(next, first, blockLast, nextRay);
    for (int k = groupCount - 1; k >= 0; --k) {
      GroupWalk& group = groups[k];
      const std::uint32_t last = std::min(group.longest, blockLast);
      if (last >= first) {
        WalkGroup<mode>(group, first, last, nextRay, queue);
        WriteQueued(queue);
      }
      for (std::uint32_t i = std::max(last + 1, first); i <= blockLast; ++i) nextRay[i - first] = -1;
    }
  }
}

template void TraceRaysAvx2<AccumulationMode::Weighted>(const RayTarget*, int, const RayTarget*);
template void TraceRaysAvx2<AccumulationMode::Uniform>(const RayTarget*, int, const RayTarget*);

#endif
