#pragma once

// The lights of glintor-render's frames, and the files that list them.

#include <cstdint>
#include <string>
#include <vector>

#include "scene_state.h"

struct Light {
  std::int32_t column, row;
};

// Beyond any picture's light range; the picture's own range is checked once
// it is loaded.
inline constexpr std::uint32_t kLargestCoordinate = 2 * kMaxPictureSide;

// Appends the lights of a file ("-": standard input), one "COLUMN,ROW" a
// line, spaces allowed around both numbers, perhaps a "# comment" after;
// blank and comment lines add no light, and a UTF-8 byte order mark may
// start the file. Empty string when all is well, else the problem, naming
// the file as given (and the line): a file without a light is one too.
std::string ReadLights(const std::string& name, std::vector<Light>* lights);
