#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "ray_kernels.h"
#include "renderer.h"
#include "scene_state.h"
#include "vector_level.h"
#include "x86_vectors.h"

namespace {

// One ray's walk: the pixel index moves by precomputed steps only.
struct RayWalk {
  std::ptrdiff_t position;
  std::ptrdiff_t majorStep;
  std::ptrdiff_t minorStep;
  std::ptrdiff_t blockAhead;
  std::int32_t error;
  std::int32_t minorLength;  // m
  std::uint32_t length;      // n, the number of steps
  std::uint32_t entry;       // the first step inside the picture
  std::uint32_t sums[3];
};

// Taken up at step firstStep, or at the ray's entry if later.
RayWalk StartWalk(const RayGeometry& ray, std::uint32_t firstStep) {
  RayWalk walk{};
  // The error starts at 0, not n / 2: minor steps come as late as possible.
  const WalkState state = WalkStateAt(ray, std::max(firstStep, ray.entry) - 1);
  walk.position = state.position;
  walk.error = static_cast<std::int32_t>(state.error);
  walk.entry = ray.entry;
  walk.majorStep = ray.majorStep;
  walk.minorStep = ray.minorStep;
  walk.blockAhead = BlockAhead(ray);
  walk.minorLength = static_cast<std::int32_t>(ray.minorLength);
  walk.length = ray.length;
  return walk;
}

}  // namespace

// Every ray that passes a pixel reaches it at the same step, the pixel's
// distance from the light. So the rays of a batch can be walked a block of
// steps at a time, ray after ray within the block, while the lines that one
// ray's block loads serve its neighbours'. The rays go last to first, so that
// each knows where the next ray is at every step of the block and stores only
// where that ray does not pass.
template <AccumulationMode mode>
void TraceRaysScalar(const RayTarget* targets, int count, const RayTarget* following) {
  RayGeometry rays[kRayBatch];
  RayWalk walks[kRayBatch];
  std::uint32_t longest = 0;
  // From a light outside, the steps before the rays enter the picture are
  // skipped: the walks start at the first step any of them is inside.
  std::uint32_t firstStep = UINT32_MAX;
  for (int k = 0; k < count; ++k) {
    rays[k] = MakeRayGeometry(targets[k]);
    firstStep = std::min(firstStep, rays[k].entry);
  }
  for (int k = 0; k < count; ++k) {
    walks[k] = StartWalk(rays[k], firstStep);
    longest = std::max(longest, walks[k].length);
  }
  PositionWalk next = StartPositionWalk(following, firstStep);
  const WalkBuffers buffers = SceneWalkBuffers();
  const auto [coverage, counts, accum, source] = buffers;

  for (std::uint32_t first = firstStep; first <= longest; first += kStepBlock) {
    const std::uint32_t blockLast = std::min(longest, first + kStepBlock - 1);
    // Where the next ray is at each step of the block, -1 past its end.
    std::ptrdiff_t nextPositions[kStepBlock];
    WalkPositions(next, first, blockLast, nextPositions);
    for (int k = count - 1; k >= 0; --k) {
      RayWalk& walk = walks[k];
      const std::uint32_t last = std::min(walk.length, blockLast);
      const auto length = static_cast<std::int32_t>(walk.length);
      const std::int32_t minorLength = walk.minorLength;
      const std::ptrdiff_t majorStep = walk.majorStep;
      const std::ptrdiff_t minorStep = walk.minorStep;
      std::ptrdiff_t position = walk.position;
      std::int32_t error = walk.error;
      const std::ptrdiff_t blockAhead = walk.blockAhead;
      std::uint32_t blue = walk.sums[0], green = walk.sums[1], red = walk.sums[2];
      // Steps are counted from the entry pixel, which is step 1 inside.
      const std::uint32_t beforeEntry = walk.entry - 1;
      for (std::uint32_t i = first; i < std::min(walk.entry, blockLast + 1); ++i) nextPositions[i - first] = -1;
      for (std::uint32_t i = std::max(first, walk.entry); i <= last; ++i) {
        position += majorStep;
        error += minorLength;
        if (error >= length) {
          position += minorStep;
          error -= length;
        }
        // Weighted sums wrap modulo 2^32 on very long bright rays.
        const std::uint32_t counted = i - beforeEntry;
        const std::uint32_t weight = mode == AccumulationMode::Weighted ? counted : 1;
        const std::uint8_t* sample = source + position * 3;
        blue += sample[0] * weight;
        green += sample[1] * weight;
        red += sample[2] * weight;
        PrefetchPixel(buffers, position + blockAhead);
        std::ptrdiff_t& nextPosition = nextPositions[i - first];
        if (nextPosition != position) {
          StoreShared<std::uint8_t>(coverage[position], 1);
          StoreShared(counts[position], static_cast<std::uint16_t>(counted));
          std::uint32_t* sum = accum + position * 3;
          StoreShared(sum[0], blue);
          StoreShared(sum[1], green);
          StoreShared(sum[2], red);
        }
        nextPosition = position;
      }
      for (std::uint32_t i = std::max(last + 1, first); i <= blockLast; ++i) nextPositions[i - first] = -1;
      walk.position = position;
      walk.error = error;
      walk.sums[0] = blue;
      walk.sums[1] = green;
      walk.sums[2] = red;
    }
  }
}

template <AccumulationMode mode>
void TraceRays(const RayTarget* targets, int count, const RayTarget* following) {
#if GLINTOR_X86_VECTORS
  // The vector kernels read a pixel's bytes as four from offsets that fit
  // 32-bit lanes.
  const std::size_t bytes = PixelCount() * 3;
  if (bytes >= 4 && bytes <= std::size_t{INT32_MAX}) {
    switch (UsedVectorLevel()) {
      case VectorLevel::Avx512: return TraceRaysAvx512<mode>(targets, count, following);
      case VectorLevel::Avx2: return TraceRaysAvx2<mode>(targets, count, following);
      case VectorLevel::Portable: break;
    }
  }
#endif
  TraceRaysScalar<mode>(targets, count, following);
}

template <AccumulationMode mode>
void TraceRay(std::uint32_t targetColumn, std::uint32_t targetRow) {
  const RayTarget target{targetColumn, targetRow};
  TraceRays<mode>(&target, 1, nullptr);
}

template <AccumulationMode mode>
void TracePixelAlone(std::uint32_t targetColumn, std::uint32_t targetRow) {
  const RayGeometry ray = MakeRayGeometry({targetColumn, targetRow});
  const WalkBuffers buffers = SceneWalkBuffers();
  const std::ptrdiff_t target = std::ptrdiff_t{targetRow} * scene.width + targetColumn;
  std::uint32_t sums[3] = {0, 0, 0};
  std::uint32_t counted = 0;
  if (ray.length == 0) {
    // The light's own pixel: a ray of one step that ends on it.
    counted = 1;
    for (int c = 0; c < 3; ++c) sums[c] = buffers.source[target * 3 + c];
  } else {
    WalkState state = WalkStateAt(ray, ray.entry - 1);
    for (std::uint32_t i = ray.entry; i <= ray.length; ++i) {
      state.position += ray.majorStep;
      state.error += ray.minorLength;
      if (state.error >= ray.length) {
        state.position += ray.minorStep;
        state.error -= ray.length;
      }
      counted = i - (ray.entry - 1);
      const std::uint32_t weight = mode == AccumulationMode::Weighted ? counted : 1;
      for (int c = 0; c < 3; ++c) sums[c] += buffers.source[state.position * 3 + c] * weight;
    }
  }
  StoreShared<std::uint8_t>(buffers.coverage[target], 1);
  StoreShared(buffers.counts[target], static_cast<std::uint16_t>(counted));
  for (int c = 0; c < 3; ++c) StoreShared(buffers.accum[target * 3 + c], sums[c]);
}

template void TracePixelAlone<AccumulationMode::Weighted>(std::uint32_t, std::uint32_t);
template void TracePixelAlone<AccumulationMode::Uniform>(std::uint32_t, std::uint32_t);
template void TraceRaysScalar<AccumulationMode::Weighted>(const RayTarget*, int, const RayTarget*);
template void TraceRaysScalar<AccumulationMode::Uniform>(const RayTarget*, int, const RayTarget*);
template void TraceRays<AccumulationMode::Weighted>(const RayTarget*, int, const RayTarget*);
template void TraceRays<AccumulationMode::Uniform>(const RayTarget*, int, const RayTarget*);
template void TraceRay<AccumulationMode::Weighted>(std::uint32_t, std::uint32_t);
template void TraceRay<AccumulationMode::Uniform>(std::uint32_t, std::uint32_t);

