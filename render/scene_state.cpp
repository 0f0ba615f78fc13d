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
}

void SwapSceneBuffers(SceneBuffers* aside) {
  SceneBuffers current{scene.width, scene.height, scene.source, scene.output,
                       scene.coverage, scene.accum, scene.counts};
  scene.width = aside->width;
  scene.height = aside->height;
  scene.source = aside->source;
  scene.output = aside->output;
  scene.coverage = aside->coverage;
  scene.accum = aside->accum;
  scene.counts = aside->counts;
  *aside = current;
}
