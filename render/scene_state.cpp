#include "scene_state.h"

#include <new>

SceneState scene{};

bool AllocateFrameBuffers() {
  const std::size_t pixels = PixelCount();
  try {
    // The () zero-fills, so pixels no ray has reached yet show their source.
    scene.output = new std::uint8_t[pixels * 3]();
    scene.coverage = new std::uint8_t[pixels]();
    scene.accum = new std::uint32_t[pixels * 3]();
    scene.counts = new std::uint16_t[pixels]();
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

namespace {
template <typename T>
void Release(T*& buffer) {
  delete[] buffer;
  buffer = nullptr;
}
}  // namespace

void ReleaseBuffers() {
  Release(scene.counts);
  Release(scene.accum);
  Release(scene.source);
  Release(scene.output);
  Release(scene.coverage);
  Release(scene.emission);
}

bool UpdateEmission() {
  const unsigned threshold = scene.settings.threshold, softness = scene.settings.softness;
  if ((threshold == 0 && softness == 0) || scene.source == nullptr) {
    Release(scene.emission);
    return true;
  }
  const std::size_t pixels = PixelCount();
  // Kept from one threshold to the next: a change costs no allocation.
  if (scene.emission == nullptr) scene.emission = new (std::nothrow) std::uint8_t[pixels * 3];
  if (scene.emission == nullptr) return false;
  const std::uint8_t* const source = scene.source;
  std::uint8_t* const emission = scene.emission;
  if (softness == 0) {
    for (std::size_t i = 0; i < pixels * 3; i += 3) {
      const unsigned luma = (29u * source[i] + 150u * source[i + 1] + 77u * source[i + 2] + 128u) >> 8;
      const std::uint8_t keep = luma >= threshold ? 0xFF : 0x00;
      emission[i] = source[i] & keep;
      emission[i + 1] = source[i + 1] & keep;
      emission[i + 2] = source[i + 2] & keep;
    }
    return true;
  }
  // Weights by luma, so that each pixel costs a lookup, not a division.
  std::uint8_t weightOf[256];
  for (unsigned luma = 0; luma < 256; ++luma) weightOf[luma] = static_cast<std::uint8_t>(EmissionWeight(luma, threshold, softness));
  for (std::size_t i = 0; i < pixels * 3; i += 3) {
    const unsigned luma = (29u * source[i] + 150u * source[i + 1] + 77u * source[i + 2] + 128u) >> 8;
    const unsigned weight = weightOf[luma];
    for (std::size_t c = 0; c < 3; ++c) emission[i + c] = static_cast<std::uint8_t>((source[i + c] * weight + 127) / 255);
  }
  return true;
}

void SwapSceneBuffers(SceneBuffers* aside) {
  SceneBuffers current{scene.width,    scene.height, scene.source, scene.output,
                       scene.coverage, scene.accum,  scene.counts, scene.emission};
  scene.width = aside->width;
  scene.height = aside->height;
  scene.source = aside->source;
  scene.output = aside->output;
  scene.coverage = aside->coverage;
  scene.accum = aside->accum;
  scene.counts = aside->counts;
  scene.emission = aside->emission;
  *aside = current;
}
