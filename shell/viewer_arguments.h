#pragma once

// The viewers' command line: the options that shape the light, then at
// most one picture ("--" before a name that starts with a dash).

#include <filesystem>
#include <optional>
#include <vector>

#include "scene_state.h"

struct ViewerArguments {
  LightSettings settings;
  std::optional<std::filesystem::path> picture;  // none given: source.bmp
};

// Reads the arguments into `read`. An exit code if the viewer is done (0
// after the usage was asked for, on stdout; 2 after a usage error, the
// problem and the usage on stderr), else nothing.
std::optional<int> ReadViewerArguments(const char* programName, const std::vector<std::filesystem::path>& arguments,
                                       ViewerArguments* read);
