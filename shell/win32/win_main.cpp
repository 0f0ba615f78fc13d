// The programs' entry point, built into each viewer with its accumulation
// mode.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "accumulation_mode.h"
#include "backend.h"
#include "renderer.h"
#include "viewer.h"
#include "win32_backend.h"

#include <shellapi.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  UseProgramInstance(instance);
  // The wide command line: a picture whose name is not in the system's code
  // page, also one dropped on the program in Explorer, arrives intact.
  int count = 0;
  LPWSTR* words = CommandLineToArgvW(GetCommandLineW(), &count);
  if (words == nullptr) {
    std::fputs("The command line could not be read.\n", stderr);
    return 1;
  }
  const std::vector<std::filesystem::path> arguments(words + (count > 0 ? 1 : 0), words + count);
  LocalFree(words);
  const std::string name = std::string("glintor-") + kAccumulationModeName;
  return ViewerMain(PlatformBackend(),
                    {name.c_str(), kAccumulationModeName, RenderFrame<kAccumulationMode>}, arguments);
}
