// glintor-weighted and glintor-uniform: the same viewer, built once per
// accumulation mode.

#include "accumulation_mode.h"
#include "backend.h"
#include "renderer.h"
#include "viewer.h"

int main() { return ViewerMain(PlatformBackend(), RenderFrame<kAccumulationMode>); }
