// glintor-weighted and glintor-uniform: the same viewer, built once per
// accumulation mode.

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "accumulation_mode.h"
#include "backend.h"
#include "renderer.h"
#include "viewer.h"

int main(int argc, char** argv) {
  const std::string name = std::string("glintor-") + kAccumulationModeName;
  const std::vector<std::filesystem::path> arguments(argv + 1, argv + argc);
  // A file-size limit (ulimit -f) reached while S writes a frame would end
  // the viewer, its temporary left behind; ignored, the save fails and says
  // why, and the viewer runs on.
  std::signal(SIGXFSZ, SIG_IGN);
  return ViewerMain(PlatformBackend(), {name.c_str(), kAccumulationModeName, RenderFrame<kAccumulationMode>},
                    arguments);
}
