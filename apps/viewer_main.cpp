// glintor-weighted and glintor-uniform: the same viewer, built once per
// accumulation mode.

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
  return ViewerMain(PlatformBackend(), {name.c_str(), kAccumulationModeName, RenderFrame<kAccumulationMode>},
                    arguments);
}
