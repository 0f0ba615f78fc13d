#pragma once

// The options that shape the light, shared by the viewers and glintor-render:
//   --threshold T   0 to 255
//   --strength K    0 to 400 (per cent; a trailing % is allowed)
//   --tint RRGGBB   six hexadecimal digits, red first
//   --softness S    0 to 255
//   --blend B       add or screen
//   --view V        final, rays or emission
// Each, as every option of the programs, takes its value as the next
// argument or joined by '=': --threshold 200 or --threshold=200.

#include <optional>
#include <string>
#include <string_view>

#include "scene_state.h"

// An argument that starts with "--" and holds a '=' is an option with its
// value joined: the name before the first '=', the value after it. Any
// other argument is all name.
struct OptionWord {
  std::string_view name;
  std::optional<std::string_view> value;
};
OptionWord SplitOption(std::string_view argument);

// Whether the argument names one of the options above (without its value).
bool IsLightOption(std::string_view argument);

// Sets the option's value in settings. Empty if the value is well formed and
// in range; else the problem, naming the option, and settings is unchanged.
std::string ParseLightOption(std::string_view option, std::string_view value, LightSettings* settings);

// The options' lines for a usage text, each starting with two spaces.
extern const char* const kLightOptionsHelp;
