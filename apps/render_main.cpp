// glintor-render: renders frames of a picture without a window, for scripts,
// tests and benchmarks.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "arguments.h"
#include "bmp_file.h"
#include "renderer.h"
#include "scene_state.h"
#include "sdl_backend.h"
#include "startup_messages.h"
#include "window_link.h"

namespace {

constexpr const char* kUsage =
    "usage: glintor-render [--mode weighted|uniform] [--light COL,ROW]... INPUT.bmp "
    "[OUTPUT.bmp]\n"
    "Renders one frame per --light, in the order given (row 0 is the bottom row;\n"
    "default: one frame with the light at the centre), prints each frame's title\n"
    "and writes the last frame as a 24-bit BMP.\n";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "glintor-render: %s\n%s", problem.c_str(), kUsage);
  return 2;
}

int Fail(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  ReleaseBuffers();
  return 1;
}

void PrintTitle(void*, const char* text) { std::printf("%s\n", text); }

struct Light {
  std::uint32_t column, row;
};

}  // namespace

int main(int argc, char** argv) {
  bool uniform = false;
  std::vector<Light> lights;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "--mode") {
      if (i + 1 == argc) return Usage("--mode needs weighted or uniform");
      const std::string_view mode = argv[++i];
      if (mode != "weighted" && mode != "uniform") {
        return Usage("unknown mode: " + std::string(mode));
      }
      uniform = mode == "uniform";
    } else if (argument == "--light") {
      Light light{};
      if (i + 1 == argc || !ParsePair(argv[++i], ',', 65535, &light.column, &light.row)) {
        return Usage("--light needs COLUMN,ROW, two numbers");
      }
      lights.push_back(light);
    } else if (argument.size() > 1 && argument.front() == '-') {
      return Usage("unknown option: " + std::string(argument));
    } else {
      files.emplace_back(argument);
    }
  }
  if (files.empty() || files.size() > 2) return Usage("give one input picture and at most one output");

  const LoadResult loaded = LoadSourceImage(files[0].c_str());
  if (loaded != LoadResult::Loaded) return Fail(StartupMessage(loaded, files[0]));
  if (lights.empty()) lights.push_back({std::uint32_t{scene.width} >> 1, std::uint32_t{scene.height} >> 1});
  for (const Light& light : lights) {
    if (light.column >= scene.width || light.row >= scene.height) {
      ReleaseBuffers();
      return Usage("light " + std::to_string(light.column) + "," + std::to_string(light.row) +
                   " lies outside the " + std::to_string(scene.width) + " x " +
                   std::to_string(scene.height) + " picture");
    }
  }
  if (!AllocateFrameBuffers()) return Fail(StartupMessage(LoadResult::OutOfMemory, files[0]));

  windowOperations = {PrintTitle, nullptr};
  for (const Light& light : lights) {
    scene.lightColumn = static_cast<std::uint16_t>(light.column);
    scene.lightRow = static_cast<std::uint16_t>(light.row);
    if (uniform) {
      RenderFrame<AccumulationMode::Uniform>();
    } else {
      RenderFrame<AccumulationMode::Weighted>();
    }
  }
  std::fflush(stdout);

  if (files.size() == 2 && !WriteBmp(files[1], scene.width, scene.height, 24, scene.output)) {
    return Fail("glintor-render: could not write " + files[1]);
  }
  ReleaseBuffers();
  return 0;
}
