#pragma once

// What the picture loader promises for any bytes at all: either a refusal
// that leaves no `source`, or a `source` of exactly width x height x 3 bytes
// for a picture within the size limits. Shared by the fuzz target and the
// unit test that replays the inputs it found.

#include <cstddef>
#include <cstdint>
#include <string>

#include "scene_state.h"
#include "sdl_backend.h"
#include "source_image.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define GLINTOR_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define GLINTOR_ASAN 1
#endif
#ifdef GLINTOR_ASAN
// From the sanitizer runtime; not every compiler ships its header.
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* block);
#endif

// Loads the bytes with the given smallest side; empty if the promise held,
// else what broke it. Leaves the scene empty.
inline std::string CheckLoaderOn(const std::uint8_t* bytes, std::size_t size, std::int64_t minSide) {
  scene = SceneState{};
  const LoadResult result = LoadSourceImageFromBytes(bytes, size, minSide);
  std::string problem;
  if (result != LoadResult::Loaded) {
    if (scene.source != nullptr) problem = "refused, but a source was left behind";
  } else if (scene.source == nullptr) {
    problem = "loaded without a source";
  } else if (scene.width < minSide || scene.height < minSide || scene.width > kMaxPictureSide ||
             scene.height > kMaxPictureSide) {
    problem = "loaded a picture of " + std::to_string(scene.width) + " x " +
              std::to_string(scene.height);
  } else {
    const std::size_t bytesNeeded = PixelCount() * 3;
#ifdef GLINTOR_ASAN
    if (__sanitizer_get_allocated_size(scene.source) != bytesNeeded) {
      problem = "source holds " + std::to_string(__sanitizer_get_allocated_size(scene.source)) +
                " bytes, not " + std::to_string(bytesNeeded);
    }
#endif
    // Under AddressSanitizer a shorter buffer fails here.
    volatile std::uint8_t touch = scene.source[0];
    touch = scene.source[bytesNeeded - 1];
    (void)touch;
  }
  ReleaseBuffers();
  scene = SceneState{};
  return problem;
}
