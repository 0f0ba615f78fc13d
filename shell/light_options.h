#pragma once

// The options that shape the light, shared by the viewers and glintor-render:
//   --threshold T   0 to 255
//   --strength K    0 to 400 (per cent; a trailing % is allowed)
//   --tint RRGGBB   six hexadecimal digits, red first
//   --view V        final, rays or emission

#include <string>
#include <string_view>

#include "scene_state.h"

// Whether the argument names one of the options above (without its value).
bool IsLightOption(std::string_view argument);

// Sets the option's value in settings. Empty if the value is well formed and
// in range; else the problem, naming the option, and settings is unchanged.
std::string ParseLightOption(std::string_view option, std::string_view value, LightSettings* settings);

// The options' lines for a usage text, each starting with two spaces.
extern const char* const kLightOptionsHelp;
