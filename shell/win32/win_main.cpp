// The programs' entry point, built into each viewer with its accumulation
// mode.

#include "accumulation_mode.h"
#include "backend.h"
#include "renderer.h"
#include "viewer.h"
#include "win32_backend.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  UseProgramInstance(instance);
  return ViewerMain(PlatformBackend(), RenderFrame<kAccumulationMode>);
}
