#pragma once

#include <cstddef>
#include <cstdint>

#include "scene_state.h"

// Every routine whose work depends on the accumulation mode takes the mode as
// a template argument; a program picks its mode at build time
// (kAccumulationMode in accumulation_mode.h). Both modes are instantiated.

// Walks the discrete line from the light to the target, writing coverage,
// counts and accum at every pixel after the light, the target included.
template <AccumulationMode mode>
void TraceRay(std::uint32_t targetColumn, std::uint32_t targetRow);

// Gives the target pixel alone the count and sums of the ray from the light
// to it, writing nothing else; the light's own pixel gets a count of 1 and
// its own emission, as a ray of one step ending on it would.
template <AccumulationMode mode>
void TracePixelAlone(std::uint32_t targetColumn, std::uint32_t targetRow);

struct RayTarget {
  std::uint32_t column;
  std::uint32_t row;
};
// Rays traced together, and how many steps of one ray are walked before the
// next ray takes its turn: small enough that the lines one ray touches in a
// block are still in the first-level cache for its neighbours.
inline constexpr int kRayBatch = 256;
inline constexpr std::uint32_t kStepBlock = 16;

// Traces up to kRayBatch rays to targets of one ring of one casting routine,
// in its visiting order; following is the ring's next target after them, or
// null. A ray stores at a pixel only where the next ray of the ring is not on
// the same pixel at the same step (that ray would overwrite it). Along a ring
// in visiting order
//  - ray lengths rise, then fall, so the rays that reach a step are
//    consecutive, and
//  - the pixels of those rays at one step move one way around the light,
// so the rays through a pixel are consecutive and the last of them alone
// stores: each pixel gets one store per ring, and the batches of a ring can
// be traced in any order, by any thread. The result is that of TraceRay for
// each target in turn, then for following.
template <AccumulationMode mode>
void TraceRays(const RayTarget* targets, int count, const RayTarget* following);

// Casting workers, one per quadrant around the light, which also share each
// other's rings. The parameter is not read; each returns 1. PrepareCasting
// readies what they share, before they start.
void PrepareCasting();
template <AccumulationMode mode>
std::uint32_t CastLowerLeft(void* unused);
template <AccumulationMode mode>
std::uint32_t CastLowerRight(void* unused);
template <AccumulationMode mode>
std::uint32_t CastUpperLeft(void* unused);
template <AccumulationMode mode>
std::uint32_t CastUpperRight(void* unused);

// Compositing worker. The parameter's value is the image quadrant:
// 0 lower left, 1 upper left, 2 lower right, 3 upper right. Returns 1, or 0
// without touching anything for any other value.
template <AccumulationMode mode>
std::uint32_t CompositeQuadrant(void* quadrant);
// Readies what the compositing workers share for scene.settings, before they
// start.
void PrepareCompositing();

// One frame for the current light: casting on four threads, compositing on
// four threads, then the timing title and a repaint request.
template <AccumulationMode mode>
void RenderFrame();

// The title text for one frame, from the tick rate and the three time
// stamps. Never writes more than capacity bytes.
void FormatTitle(char* buffer, std::size_t capacity, std::int64_t ticksPerSecond,
                 std::int64_t start, std::int64_t castEnd, std::int64_t compositeEnd);

// What the title adds for the settings that differ from the defaults, such
// as " - threshold 176, strength 60%, tint FFC890, view rays"; empty for
// the defaults. Never writes more than capacity bytes.
void FormatSettings(char* buffer, std::size_t capacity, const LightSettings& settings);
