#include "viewer.h"

#include <cstdio>
#include <string>

#include "scene_state.h"
#include "window_geometry.h"

namespace {

// The user may have started us from a terminal, or have no display at all:
// the message also goes to stderr.
int FailStartup(const ShellBackend& backend, const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  backend.showError(text.c_str());
  backend.closeMainWindow();
  ReleaseBuffers();
  return 1;
}

}  // namespace

int ViewerMain(const ShellBackend& backend, void (*renderFrame)()) {
  scene.busy = 0;
  const LoadResult loaded = backend.loadSourceImage(kSourceFileName);
  if (loaded != LoadResult::Loaded) {
    return FailStartup(backend, StartupMessage(loaded, kSourceFileName));
  }

  std::int32_t screenWidth = 0;
  std::int32_t screenHeight = 0;
  if (!backend.primaryScreenSize(&screenWidth, &screenHeight)) {
    return FailStartup(backend, kWindowFailedMessage);
  }
  const ClientRectangle client =
      CentreClientRectangle(screenWidth, screenHeight, scene.width, scene.height);
  if (!backend.openMainWindow(client)) return FailStartup(backend, kWindowFailedMessage);

  if (!AllocateFrameBuffers()) {
    return FailStartup(backend, StartupMessage(LoadResult::OutOfMemory, kSourceFileName));
  }
  scene.lightColumn = static_cast<std::uint16_t>(scene.width >> 1);
  scene.lightRow = static_cast<std::uint16_t>(scene.height >> 1);
  renderFrame();

  backend.runMessageLoop(renderFrame);
  backend.closeMainWindow();
  ReleaseBuffers();
  return 0;
}
