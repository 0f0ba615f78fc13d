#pragma once

// glintor-render's command line.

#include <optional>
#include <string>
#include <vector>

#include "frame_output.h"
#include "frame_pattern.h"
#include "lights_file.h"
#include "scene_state.h"

struct RenderArguments {
  bool uniform = false;
  LightSettings settings;
  std::vector<Light> lights;  // in the order given; none for the default
  std::string input;
  std::optional<std::string> output;
  ImageKind outputKind = ImageKind::Png;
  std::optional<FramePattern> frames;
  ImageKind framesKind = ImageKind::Png;
};

// Reads the command line, lights files included, into `arguments`. An exit
// code if the program is done (0 after the usage was asked for, 2 after a
// usage error, reported), else nothing.
std::optional<int> ReadRenderArguments(int argc, char** argv, RenderArguments* arguments);

// Reports a usage error: the problem, then the usage, on stderr. Returns
// the exit code, 2.
int Usage(const std::string& problem);
