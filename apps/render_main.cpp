// glintor-render: renders frames of a picture without a window, for scripts,
// tests and benchmarks.

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "frame_file.h"
#include "render_arguments.h"
#include "render_progress.h"
#include "renderer.h"
#include "scene_state.h"
#include "sdl_backend.h"
#include "startup_messages.h"
#include "window_link.h"

namespace {

int Fail(const StartupFailure& failure) {
  std::fprintf(stderr, "%s\n", failure.ForTerminal().c_str());
  ReleaseBuffers();
  return 1;
}

Progress* progress = nullptr;
bool titlesOnTerminal = false;

void PrintTitle(void*, const char* text) {
  if (titlesOnTerminal && progress != nullptr) progress->Clear();
  std::printf("%s\n", text);
}

}  // namespace

int main(int argc, char** argv) {
  RenderArguments request;
  if (const std::optional<int> exitCode = ReadRenderArguments(argc, argv, &request)) return *exitCode;
  // A file-size limit (ulimit -f) reached while a frame is written would
  // end the program, its temporary left behind; ignored, the write fails
  // with EFBIG, which is reported as any failed write.
  signal(SIGXFSZ, SIG_IGN);

  const std::string& input = request.input;
  const LoadResult loaded = LoadSourceImage(input);
  if (loaded != LoadResult::Loaded) return Fail(StartupMessage(loaded, input));
  std::vector<Light>& lights = request.lights;
  if (lights.empty()) lights.push_back({scene.width >> 1, scene.height >> 1});
  for (const Light& light : lights) {
    if (!LightInRange(light.column, light.row, scene.width, scene.height)) {
      ReleaseBuffers();
      const int w = scene.width, h = scene.height;
      return Usage("light " + std::to_string(light.column) + "," + std::to_string(light.row) +
                   " lies beyond the range of the " + std::to_string(w) + " x " + std::to_string(h) +
                   " picture: columns " + std::to_string(-w) + " to " + std::to_string(2 * w - 1) + ", rows " +
                   std::to_string(-h) + " to " + std::to_string(2 * h - 1));
    }
  }
  // Before any frame is rendered.
  const std::string overwritten = InputOverwritten(input, request.output, request.frames, lights.size());
  if (!overwritten.empty()) {
    ReleaseBuffers();
    return Usage(overwritten);
  }
  scene.settings = request.settings;
  if (!AllocateFrameBuffers() || !UpdateEmission()) return Fail(StartupMessage(LoadResult::OutOfMemory, input));

  Progress shownProgress(lights.size(), lights.size() > 1 && isatty(2));
  progress = &shownProgress;
  titlesOnTerminal = isatty(1);
  windowOperations = {PrintTitle, nullptr};
  const std::optional<FramePattern>& frames = request.frames;
  for (std::size_t number = 0; number < lights.size(); ++number) {
    scene.lightColumn = lights[number].column;
    scene.lightRow = lights[number].row;
    if (request.uniform) {
      RenderFrame<AccumulationMode::Uniform>();
    } else {
      RenderFrame<AccumulationMode::Weighted>();
    }
    if (frames) {
      const std::string name = frames->Name(number);
      std::error_code reason;
      if (!WriteFrame(name, request.framesKind, reason)) {
        shownProgress.Clear();
        return Fail({"glintor-render: could not write " + name + ": " + ReasonText(reason), {}});
      }
    }
    shownProgress.FrameDone();
  }
  shownProgress.Clear();
  std::fflush(stdout);

  std::error_code reason;
  if (request.output && !WriteFrame(*request.output, request.outputKind, reason)) {
    return Fail({"glintor-render: could not write " + *request.output + ": " + ReasonText(reason), {}});
  }
  ReleaseBuffers();
  return 0;
}
