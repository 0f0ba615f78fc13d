#pragma once

// What the vector kernels share: the rays of a batch walk in groups, one ray
// per lane, a block of steps at a time, groups last to first, as the
// portable kernel walks single rays. Each kernel supplies its Lanes: the
// width, a Group of vectors, Start, Walk, and Write, which calls WriteQueued
// where the kernel's instructions (prefetchw among them) are enabled.

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "ray_kernels.h"
#include "scene_state.h"

// The pixel writes of one group over one block of steps, each at a pixel
// where its ray is the last of the ring, so no two at the same pixel. A
// step's writes are packed to the front of a whole vector's room.
template <int kLanes>
struct WriteQueue {
  static constexpr auto kCapacity = static_cast<std::size_t>(kLanes) * (kStepBlock + 1);
  alignas(64) std::int32_t position[kCapacity];
  alignas(64) std::int32_t later[kCapacity];  // about where the ray will be a block later
  alignas(64) std::uint32_t step[kCapacity];
  alignas(64) std::uint32_t blue[kCapacity];
  alignas(64) std::uint32_t green[kCapacity];
  alignas(64) std::uint32_t red[kCapacity];
  int size = 0;
};

// A group's rays laid out for loading into lanes. Lanes without a ray hold
// zeros: they stand still at the light and never write.
template <int kLanes>
struct LaneRays {
  static constexpr auto kCount = static_cast<std::size_t>(kLanes);
  alignas(64) std::int32_t minorLength[kCount] = {};
  alignas(64) std::int32_t length[kCount] = {};
  alignas(64) std::int32_t majorStep[kCount] = {};
  alignas(64) std::int32_t minorStep[kCount] = {};
  alignas(64) std::int32_t blockAhead[kCount] = {};
  // Where each walk stands before step firstStep, the first step any of
  // them is in the picture (1 from a light inside), and the steps before
  // each one's own entry.
  alignas(64) std::int32_t position[kCount] = {};
  alignas(64) std::int32_t error[kCount] = {};
  alignas(64) std::int32_t beforeEntry[kCount] = {};
  std::uint32_t longest = 0;
  std::uint32_t firstStep = UINT32_MAX;

  LaneRays(const RayTarget* targets, int count) {
    RayGeometry rays[kCount];
    for (int lane = 0; lane < count; ++lane) {
      rays[lane] = MakeRayGeometry(targets[lane]);
      firstStep = std::min(firstStep, rays[lane].entry);
    }
    for (int lane = 0; lane < count; ++lane) {
      const RayGeometry& ray = rays[lane];
      minorLength[lane] = static_cast<std::int32_t>(ray.minorLength);
      length[lane] = static_cast<std::int32_t>(ray.length);
      majorStep[lane] = static_cast<std::int32_t>(ray.majorStep);
      minorStep[lane] = static_cast<std::int32_t>(ray.minorStep);
      blockAhead[lane] = static_cast<std::int32_t>(BlockAhead(ray));
      const WalkState state = WalkStateAt(ray, firstStep - 1);
      position[lane] = static_cast<std::int32_t>(state.position);
      error[lane] = static_cast<std::int32_t>(state.error);
      beforeEntry[lane] = static_cast<std::int32_t>(ray.entry - 1);
      longest = std::max(longest, ray.length);
    }
  }
};

// Each write also asks for the lines its ray will need a block later: only
// one ray of those sharing a pixel asks, as only one writes.
// Inlined into the kernel's Write, whose instructions it needs (the build's
// disassembly shows prefetchw there; forcing the inlining loses it).
template <int kLanes>
inline void WriteQueued(WriteQueue<kLanes>& queue) {
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

// The whole batch. Lanes::Walk walks steps first to last of a group and
// queues only the writes that the next ray does not repeat at the same
// pixel: tracing the rays one after another, that ray would overwrite them.
// nextRay[i - first] holds where the ray after the group's last is at step
// i, -1 before it enters the picture and past its end; Walk leaves there
// the same for the group's lane 0. From a light outside, each group's walk
// starts at the first step any of its rays enters the picture
// (fromOutside: lanes enter at steps of their own and count their steps
// from there).
template <typename Lanes, AccumulationMode mode>
void TraceRaysInGroups(const RayTarget* targets, int count, const RayTarget* following) {
  constexpr int kLanes = Lanes::kLanes;
  constexpr auto kMaxGroups = static_cast<std::size_t>(kRayBatch / kLanes);
  typename Lanes::Group groups[kMaxGroups];
  std::uint32_t groupLongest[kMaxGroups], groupFirst[kMaxGroups];
  const int groupCount = (count + kLanes - 1) / kLanes;
  const bool fromOutside = !LightInside();
  std::uint32_t longest = 0, firstStep = UINT32_MAX;
  for (int k = 0; k < groupCount; ++k) {
    const int lanes = std::min(kLanes, count - k * kLanes);
    const LaneRays<kLanes> rays(targets + k * kLanes, lanes);
    Lanes::Start(groups[k], rays, lanes);
    groupFirst[k] = rays.firstStep;
    groupLongest[k] = rays.longest;
    longest = std::max(longest, rays.longest);
    firstStep = std::min(firstStep, groupFirst[k]);
  }
  PositionWalk next = StartPositionWalk(following, firstStep);
  WriteQueue<kLanes> queue;
  for (std::uint32_t first = firstStep; first <= longest; first += kStepBlock) {
    const std::uint32_t blockLast = std::min(longest, first + kStepBlock - 1);
    std::int32_t nextRay[kStepBlock];
    WalkPositions(next, first, blockLast, nextRay);
    for (int k = groupCount - 1; k >= 0; --k) {
      const std::uint32_t last = std::min(groupLongest[k], blockLast);
      // No ray of the group is in the picture before its first entry.
      const std::uint32_t from = std::max(first, groupFirst[k]);
      for (std::uint32_t i = first; i < std::min(from, blockLast + 1); ++i) nextRay[i - first] = -1;
      if (last >= from) {
        if (fromOutside) {
          Lanes::template Walk<mode, true>(groups[k], from, last, nextRay + (from - first), queue);
        } else {
          Lanes::template Walk<mode, false>(groups[k], from, last, nextRay + (from - first), queue);
        }
        Lanes::Write(queue);
      }
      for (std::uint32_t i = std::max(last + 1, first); i <= blockLast; ++i) nextRay[i - first] = -1;
    }
  }
}
