#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "quadrant_walks.h"
#include "renderer.h"
#include "scene_state.h"

// Each casting routine walks its own quadrant, then any quadrant whose
// routine has not started yet, then takes batches of the other quadrants'
// rings until every quadrant is finished. Taking over a quadrant keeps a
// routine that runs on the calling thread, its thread not started, from
// waiting on routines that start only once it has returned.

namespace {

// A ring lies on one column and one row of the picture.
constexpr std::size_t kMaxRing = 2 * std::size_t{kMaxPictureSide};

// A quadrant's ring being traced, whose batches any routine may take. The
// targets and size are written only while no batch of the ring is out.
struct QuadrantShare {
  RayTarget targets[kMaxRing];
  int ringSize;
  // The ring's number of batches (high half) and the next batch to take.
  std::atomic<std::uint64_t> batches;
  std::atomic<std::uint32_t> batchesDone;
  std::atomic<bool> claimed;  // some routine walks this quadrant
};

// Lower left, lower right, upper left, upper right, as the routines start.
QuadrantShare quadrants[4];
std::atomic<int> quadrantsFinished;
// Changes whenever a ring is published or a quadrant finished.
std::atomic<std::uint32_t> castingNews;

// Where a routine with nothing to take sleeps until a counter moves on. A
// mutex and a condition variable rather than atomic wait: the Windows
// build's standard library, which has no futex, could miss a wake-up there
// and leave a frame waiting for ever.
std::mutex wakeUpMutex;
std::condition_variable wakeUp;

void WaitWhile(const std::atomic<std::uint32_t>& counter, std::uint32_t seen) {
  std::unique_lock lock(wakeUpMutex);
  wakeUp.wait(lock, [&] { return counter.load(std::memory_order_acquire) != seen; });
}

// Called after the counter has moved on: a routine that saw the old value
// under the mutex is waiting by the time this takes the mutex.
void WakeWaiters() {
  { const std::lock_guard lock(wakeUpMutex); }
  wakeUp.notify_all();
}

void AnnounceNews() {
  castingNews.fetch_add(1, std::memory_order_release);
  WakeWaiters();
}

#ifdef GLINTOR_CHECK_INVARIANTS
// What TraceRays rests on, along a ring in visiting order: the directions
// from the light turn one way, counter-clockwise, and a ring stays within a
// quarter turn, so the rays' pixels at any one step move one way around the
// light; and the rays' lengths rise, then fall.
void CheckRingOrder(const RayTarget* ring, int size) {
  bool falling = false;
  for (int k = 1; k < size; ++k) {
    const std::int64_t c0 = std::int64_t{ring[k - 1].column} - scene.lightColumn;
    const std::int64_t r0 = std::int64_t{ring[k - 1].row} - scene.lightRow;
    const std::int64_t c1 = std::int64_t{ring[k].column} - scene.lightColumn;
    const std::int64_t r1 = std::int64_t{ring[k].row} - scene.lightRow;
    const std::int64_t length0 = std::max(std::abs(c0), std::abs(r0));
    const std::int64_t length1 = std::max(std::abs(c1), std::abs(r1));
    falling = falling || length1 < length0;
    if (c0 * r1 - r0 * c1 < 0 || (falling && length1 > length0)) {
      std::fputs("casting: a ring's targets are out of order\n", stderr);
      std::abort();
    }
  }
}
#endif

// Traces one batch of the quadrant's published ring if one is left.
template <AccumulationMode mode>
bool TakeBatch(QuadrantShare& share) {
  const std::uint64_t published = share.batches.load(std::memory_order_relaxed);
  if (static_cast<std::uint32_t>(published) >= published >> 32) return false;
  // Past the ring's batches the count only grows, harmlessly, until the
  // next ring is published.
  const std::uint64_t taken = share.batches.fetch_add(1, std::memory_order_acquire);
  const auto index = static_cast<std::uint32_t>(taken);
  const auto count = static_cast<std::uint32_t>(taken >> 32);
  if (index >= count) return false;
  const int first = static_cast<int>(index) * kRayBatch;
  const int size = share.ringSize;
  const int batch = std::min(kRayBatch, size - first);
  const RayTarget* targets = share.targets + first;
  TraceRays<mode>(targets, batch, first + batch < size ? targets + batch : nullptr);
  if (share.batchesDone.fetch_add(1, std::memory_order_release) + 1 == count) WakeWaiters();
  return true;
}

// Traces a ring of the given size, sharing it when it has several batches,
// and returns when all of its rays are traced.
template <AccumulationMode mode>
void TraceRing(QuadrantShare& share, int size) {
#ifdef GLINTOR_CHECK_INVARIANTS
  CheckRingOrder(share.targets, size);
#endif
  const auto count = static_cast<std::uint32_t>((size + kRayBatch - 1) / kRayBatch);
  if (count <= 1) {
    if (size > 0) TraceRays<mode>(share.targets, size, nullptr);
    return;
  }
  share.ringSize = size;
  share.batchesDone.store(0, std::memory_order_relaxed);
  share.batches.store(std::uint64_t{count} << 32, std::memory_order_release);
  AnnounceNews();
  while (TakeBatch<mode>(share)) {
  }
  for (std::uint32_t done; (done = share.batchesDone.load(std::memory_order_acquire)) != count;)
    WaitWhile(share.batchesDone, done);
}

// Visits a quadrant with the given walk, collects the targets of each ring
// whose coverage byte is still 0, then traces them. No ray of a ring passes
// another target of the same ring, so the bytes read before any of the
// ring's rays are traced are the bytes they would have had after the earlier
// ones. A ring is traced in full before the next ring's targets are read.
// On every picture and light tried, the first ring's rays reach every pixel
// of the quadrant; the later rings then have nothing to trace and are not
// walked.
template <AccumulationMode mode, typename Walk>
void CastQuadrant(Walk walk, QuadrantShare& share, int quadrant) {
  int size = 0;
  bool firstRing = true;
  auto traceRing = [&] {
    TraceRing<mode>(share, size);
    size = 0;
    const bool walkOn = !firstRing || !BoxCovered(LaterRingsBox(quadrant));
    firstRing = false;
    return walkOn;
  };
  auto visit = [&](std::int32_t column, std::int32_t row, std::size_t index) {
    // Another routine may be storing this byte on the light's row or
    // column; it only ever stores 1.
    if (std::atomic_ref<std::uint8_t>(scene.coverage[index]).load(std::memory_order_relaxed) != 0) return;
    share.targets[size++] = {static_cast<std::uint32_t>(column), static_cast<std::uint32_t>(row)};
  };
  walk(visit, traceRing);
}

template <AccumulationMode mode>
void WalkQuadrant(int quadrant) {
  QuadrantShare& share = quadrants[quadrant];
  switch (quadrant) {
    case 0: CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkLowerLeft(visit, ringDone); }, share, quadrant); break;
    case 1: CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkLowerRight(visit, ringDone); }, share, quadrant); break;
    case 2: CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkUpperLeft(visit, ringDone); }, share, quadrant); break;
    default: CastQuadrant<mode>([](auto& visit, auto& ringDone) { WalkUpperRight(visit, ringDone); }, share, quadrant); break;
  }
  quadrantsFinished.fetch_add(1, std::memory_order_release);
  AnnounceNews();
}

bool Claim(QuadrantShare& share) {
  return !share.claimed.load(std::memory_order_relaxed) && !share.claimed.exchange(true, std::memory_order_relaxed);
}

template <AccumulationMode mode>
void CastAndHelp(int ownQuadrant) {
  if (Claim(quadrants[ownQuadrant])) WalkQuadrant<mode>(ownQuadrant);
  for (;;) {
    const std::uint32_t news = castingNews.load(std::memory_order_acquire);
    bool traced = false;
    for (QuadrantShare& share : quadrants)
      while (TakeBatch<mode>(share)) traced = true;
    if (traced) continue;
    int unclaimed = 0;
    while (unclaimed < 4 && !Claim(quadrants[unclaimed])) ++unclaimed;
    if (unclaimed < 4) {
      WalkQuadrant<mode>(unclaimed);
      continue;
    }
    if (quadrantsFinished.load(std::memory_order_acquire) == 4) return;
    WaitWhile(castingNews, news);
  }
}

}  // namespace

void PrepareCasting() {
  for (QuadrantShare& share : quadrants) {
    share.batches.store(0, std::memory_order_relaxed);
    share.batchesDone.store(0, std::memory_order_relaxed);
    share.claimed.store(false, std::memory_order_relaxed);
  }
  quadrantsFinished.store(0, std::memory_order_relaxed);
}

template <AccumulationMode mode>
std::uint32_t CastLowerLeft(void*) {
  CastAndHelp<mode>(0);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastLowerRight(void*) {
  CastAndHelp<mode>(1);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastUpperLeft(void*) {
  CastAndHelp<mode>(2);
  return 1;
}

template <AccumulationMode mode>
std::uint32_t CastUpperRight(void*) {
  CastAndHelp<mode>(3);
  return 1;
}

template std::uint32_t CastLowerLeft<AccumulationMode::Weighted>(void*);
template std::uint32_t CastLowerRight<AccumulationMode::Weighted>(void*);
template std::uint32_t CastUpperLeft<AccumulationMode::Weighted>(void*);
template std::uint32_t CastUpperRight<AccumulationMode::Weighted>(void*);
template std::uint32_t CastLowerLeft<AccumulationMode::Uniform>(void*);
template std::uint32_t CastLowerRight<AccumulationMode::Uniform>(void*);
template std::uint32_t CastUpperLeft<AccumulationMode::Uniform>(void*);
template std::uint32_t CastUpperRight<AccumulationMode::Uniform>(void*);
