#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "renderer.h"
#include "scene_state.h"
#include "window_link.h"

WindowOperations windowOperations{};

namespace {

using Clock = std::chrono::steady_clock;
using Worker = std::uint32_t (*)(void*);

std::int64_t Ticks() {
  return static_cast<std::int64_t>(Clock::now().time_since_epoch().count());
}

// Starts the four workers in order, then waits for all of them. A worker
// whose thread cannot be started (no thread left, or no memory for one) runs
// here instead, so the phase still ends only when all four have finished.
void RunPhase(const Worker (&workers)[4], void* const (&parameters)[4]) {
  std::thread threads[4];
  for (int i = 0; i < 4; ++i) {
    try {
      threads[i] = std::thread(workers[i], parameters[i]);
    } catch (const std::system_error&) {
      workers[i](parameters[i]);
    } catch (const std::bad_alloc&) {
      workers[i](parameters[i]);
    }
  }
  for (std::thread& thread : threads) {
    if (thread.joinable()) thread.join();
  }
}

}  // namespace

void FormatTitle(char* buffer, std::size_t capacity, std::int64_t ticksPerSecond,
                 std::int64_t start, std::int64_t castEnd, std::int64_t compositeEnd) {
  constexpr float kMillisecondsPerSecond = 1000.0f;
  const double frequency = static_cast<double>(ticksPerSecond);
  const double frame = static_cast<double>(compositeEnd - start);
  const double casting = static_cast<double>(castEnd - start);
  const double compositing = static_cast<double>(compositeEnd - castEnd);
  // A frame of 0 ticks gives an infinite frame rate, printed as such.
  std::snprintf(buffer, capacity, "Glintor - %5.3f msec (%5.3f+%5.3f) - %5.3f fps",
                frame * kMillisecondsPerSecond / frequency,
                casting * kMillisecondsPerSecond / frequency,
                compositing * kMillisecondsPerSecond / frequency, frequency / frame);
}

void FormatSettings(char* buffer, std::size_t capacity, const LightSettings& settings) {
  if (capacity == 0) return;
  buffer[0] = '\0';
  const LightSettings defaults;
  static const char* const kViewNames[] = {"final", "rays", "emission"};
  // Without allocating: a frame may run where memory has run out.
  std::size_t used = 0;
  const auto add = [&](const char* format, auto... values) {
    if (used >= capacity) return;
    const int written = std::snprintf(buffer + used, capacity - used, used == 0 ? " - " : ", ");
    used += static_cast<std::size_t>(std::max(written, 0));
    if (used >= capacity) return;
    used += static_cast<std::size_t>(std::max(std::snprintf(buffer + used, capacity - used, format, values...), 0));
  };
  if (settings.threshold != defaults.threshold) add("threshold %u", unsigned{settings.threshold});
  if (settings.strength != defaults.strength) add("strength %u%%", unsigned{settings.strength});
  if (!std::equal(settings.tint, settings.tint + 3, defaults.tint)) {
    add("tint %02X%02X%02X", unsigned{settings.tint[2]}, unsigned{settings.tint[1]}, unsigned{settings.tint[0]});
  }
  if (settings.view != defaults.view) add("view %s", kViewNames[static_cast<int>(settings.view)]);
  if (settings.softness != defaults.softness) add("softness %u", unsigned{settings.softness});
  if (settings.blend != defaults.blend) add("blend %s", settings.blend == Blend::Screen ? "screen" : "add");
}

namespace {

// No ray writes its own start, and a ring of each quadrant ends on the
// light's row or column: where the light stands on an edge, inside or on
// its line outside, a quadrant is empty and the far end of that row or
// column is no ray's. Such pixels get the ray to them alone, so that
// nothing carries over from an earlier frame.
template <AccumulationMode mode>
void CompleteCasting() {
  const auto right = static_cast<std::uint32_t>(scene.width - 1), top = static_cast<std::uint32_t>(scene.height - 1);
  // The light's row and column, or the nearest inside.
  const auto row = static_cast<std::uint32_t>(std::clamp<std::int32_t>(scene.lightRow, 0, scene.height - 1));
  const auto column = static_cast<std::uint32_t>(std::clamp<std::int32_t>(scene.lightColumn, 0, scene.width - 1));
  if (LightInside()) TracePixelAlone<mode>(column, row);
  for (const RayTarget end : {RayTarget{0, row}, RayTarget{right, row}, RayTarget{column, 0}, RayTarget{column, top}}) {
    if (scene.coverage[std::size_t{end.row} * scene.width + end.column] == 0) TracePixelAlone<mode>(end.column, end.row);
  }
}

}  // namespace

template <AccumulationMode mode>
void RenderFrame() {
  const std::int64_t ticksPerSecond = Clock::period::den / Clock::period::num;
  const std::int64_t start = Ticks();
  scene.busy = 1;
  std::memset(scene.coverage, 0, PixelCount());
  scene.lightIndex = std::int64_t{scene.lightRow} * scene.width + scene.lightColumn;
  PrepareCasting();

  RunPhase({CastLowerLeft<mode>, CastLowerRight<mode>, CastUpperLeft<mode>, CastUpperRight<mode>},
           {nullptr, nullptr, nullptr, nullptr});
  CompleteCasting<mode>();
  const std::int64_t castEnd = Ticks();
  PrepareCompositing();

  void* const quadrants[4] = {reinterpret_cast<void*>(std::uintptr_t{0}),
                              reinterpret_cast<void*>(std::uintptr_t{1}),
                              reinterpret_cast<void*>(std::uintptr_t{2}),
                              reinterpret_cast<void*>(std::uintptr_t{3})};
  RunPhase({CompositeQuadrant<mode>, CompositeQuadrant<mode>, CompositeQuadrant<mode>,
            CompositeQuadrant<mode>},
           quadrants);
  const std::int64_t compositeEnd = Ticks();

  char title[192];
  FormatTitle(title, sizeof title, ticksPerSecond, start, castEnd, compositeEnd);
  const std::size_t length = std::strlen(title);
  FormatSettings(title + length, sizeof title - length, scene.settings);
  if (windowOperations.setTitle != nullptr) windowOperations.setTitle(scene.window, title);
  if (windowOperations.requestRepaint != nullptr) windowOperations.requestRepaint(scene.window);
  scene.busy = 0;
}

template void RenderFrame<AccumulationMode::Weighted>();
template void RenderFrame<AccumulationMode::Uniform>();
