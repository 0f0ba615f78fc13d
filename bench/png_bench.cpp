// Frames written as PNG files: the encoder with its chosen settings and
// those they were chosen over (docs/performance.md, Writing PNG files), on
// a photo-like 6000x4000 frame and on the bundled scene's frame. A 24-bit
// BMP named by GLINTOR_BENCH_FRAME (a frame glintor-render wrote, of a real
// photo say) is measured as well.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "bench_setup.h"
#include "bmp_file.h"
#include "png_encoder.h"
#include "renderer.h"
#include "scene.h"
#include "scene_state.h"
#include "test_scene.h"

namespace fs = std::filesystem;

namespace {

struct Frame {
  std::uint32_t width = 0, height = 0;
  std::vector<std::uint8_t> bgrRows;
};

struct Variant {
  const char* name;
  PngSettings settings;
};

constexpr PngSettings With(PngStrategy strategy, int level, PngFilter filter, std::size_t bandBytes = 256 * 1024,
                           unsigned threads = 0) {
  return {level, strategy, filter, bandBytes, threads};
}

constexpr Variant kVariants[] = {
    {"chosen", kPngSettings},
    {"chosen-1-thread", With(PngStrategy::Rle, 1, PngFilter::Paeth, 256 * 1024, 1)},
    {"rle-none", With(PngStrategy::Rle, 1, PngFilter::None)},
    {"rle-sub", With(PngStrategy::Rle, 1, PngFilter::Sub)},
    {"rle-up", With(PngStrategy::Rle, 1, PngFilter::Up)},
    {"rle-average", With(PngStrategy::Rle, 1, PngFilter::Average)},
    {"rle-per-row", With(PngStrategy::Rle, 1, PngFilter::PerRow)},
    {"rle-paeth-bands-64k", With(PngStrategy::Rle, 1, PngFilter::Paeth, 64 * 1024)},
    {"rle-paeth-bands-1m", With(PngStrategy::Rle, 1, PngFilter::Paeth, 1024 * 1024)},
    {"rle-paeth-bands-4m", With(PngStrategy::Rle, 1, PngFilter::Paeth, 4096 * 1024)},
    {"level1-paeth", With(PngStrategy::Default, 1, PngFilter::Paeth)},
    {"level1-average", With(PngStrategy::Default, 1, PngFilter::Average)},
    {"level2-average", With(PngStrategy::Default, 2, PngFilter::Average)},
    {"level4-average", With(PngStrategy::Default, 4, PngFilter::Average)},
    {"filtered-level1-paeth", With(PngStrategy::Filtered, 1, PngFilter::Paeth)},
    {"level6-paeth", With(PngStrategy::Default, 6, PngFilter::Paeth)},
    {"level6-per-row", With(PngStrategy::Default, 6, PngFilter::PerRow)},
};

// Smooth shading, a few soft edges and a camera's grain of about two
// levels: compresses about as a photo does.
Frame PhotoLike() {
  Frame frame{6000, 4000, {}};
  frame.bgrRows.resize(std::size_t{3} * frame.width * frame.height);
  std::mt19937 random(3);
  std::normal_distribution<double> grain(0.0, 2.0);
  std::size_t i = 0;
  for (std::uint32_t y = 0; y < frame.height; ++y) {
    for (std::uint32_t x = 0; x < frame.width; ++x) {
      const double shade = 0.5 + 0.25 * std::sin(x * 0.0021 + std::cos(y * 0.0017) * 3) +
                           0.15 * std::sin(x * 0.031) * std::sin(y * 0.027 + x * 0.004) +
                           (std::sin(x * 0.0007 - y * 0.0011) > 0.6 ? 0.1 : 0.0);
      for (int channel = 0; channel < 3; ++channel) {
        const double value = 255 * shade * (0.7 + 0.15 * channel) + grain(random);
        frame.bgrRows[i++] = static_cast<std::uint8_t>(std::clamp(value, 0.0, 255.0));
      }
    }
  }
  return frame;
}

// The bundled picture's weighted frame with the light on the sun, as in the README.
Frame SceneFrame() {
  constexpr int kWidth = 640, kHeight = 480;
  Frame frame{kWidth, kHeight, {}};
  ScopedScene picture(kWidth, kHeight, DrawScene(kWidth, kHeight));
  if (!UpdateEmission()) return frame;
  SetLight({397, 274});
  RenderFrame<AccumulationMode::Weighted>();
  frame.bgrRows.assign(scene.output, scene.output + std::size_t{3} * kWidth * kHeight);
  return frame;
}

// GLINTOR_BENCH_FRAME's rows, a bottom-up 24-bit BMP's, unpadded; an empty
// frame if it is none.
Frame FileFrame() {
  std::ifstream in(std::getenv("GLINTOR_BENCH_FRAME"), std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
  BmpHeader header{};
  if (!ParseBmpHeader(bytes.data(), bytes.size(), &header) || header.bitsPerPixel != 24 || header.topDown ||
      header.dataOffset + UncompressedDataSize(header) > bytes.size()) {
    return {};
  }
  Frame frame{static_cast<std::uint32_t>(header.width), static_cast<std::uint32_t>(header.height), {}};
  const std::size_t row = std::size_t{3} * frame.width, stride = (row + 3) & ~std::size_t{3};
  for (std::uint32_t y = 0; y < frame.height; ++y) {
    const std::uint8_t* from = bytes.data() + header.dataOffset + y * stride;
    frame.bgrRows.insert(frame.bgrRows.end(), from, from + row);
  }
  return frame;
}

// The frame last asked for, made when first asked for.
const Frame& CachedFrame(Frame (*make)()) {
  static Frame (*made)() = nullptr;
  static Frame cached;
  if (made != make) {
    cached = {};
    cached = make();
    made = make;
  }
  return cached;
}

void WriteFrame(benchmark::State& state, Frame (*make)(), PngSettings settings) {
  const Frame& frame = CachedFrame(make);
  if (frame.bgrRows.empty()) {
    state.SkipWithError("no frame: GLINTOR_BENCH_FRAME names no bottom-up 24-bit BMP");
    return;
  }
  const fs::path file = fs::temp_directory_path() / ("glintor-bench-" + std::to_string(getpid()) + ".png");
  for (auto _ : state) {
    std::error_code reason;
    if (!WritePng(file, frame.width, frame.height, frame.bgrRows.data(), settings, reason)) {
      state.SkipWithError(("could not write " + file.string() + ": " + reason.message()).c_str());
      break;
    }
  }
  std::error_code error;
  state.counters["bytes"] = static_cast<double>(fs::file_size(file, error));
  fs::remove(file, error);
}

}  // namespace

void RegisterPngBenchmarks() {
  struct Source {
    const char* name;
    Frame (*make)();
  };
  const Source sources[] = {{"photo-like-6000x4000", PhotoLike}, {"scene-640x480", SceneFrame}, {"file", FileFrame}};
  for (const Source& source : sources) {
    if (source.make == FileFrame && std::getenv("GLINTOR_BENCH_FRAME") == nullptr) continue;
    for (const Variant& variant : kVariants) {
      const std::string name = std::string("Png/") + source.name + "/" + variant.name;
      benchmark::internal::Benchmark* b =
          benchmark::RegisterBenchmark(name.c_str(), WriteFrame, source.make, variant.settings)
              ->Unit(benchmark::kMillisecond)
              ->UseRealTime();
      // Seconds a large file: one is enough.
      if (variant.settings.level >= 6 && source.make != SceneFrame) b->Iterations(1);
    }
  }
}
