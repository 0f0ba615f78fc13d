#pragma once

#include <cstdint>

#include "backend.h"
#include "scene_state.h"

// The settings after a key: T and Shift+T move the threshold by 16, the
// strength keys the strength by 10 (per cent), K and Shift+K the softness
// by 8, each within its range; V shows the next view, B the other blend,
// R brings back `start`.
LightSettings SettingsAfterKey(const LightSettings& shown, LightKey key, const LightSettings& start);

// The settings to show next. A new threshold or softness needs its emission
// pictures, which `make` remakes (false if memory is short): then the
// settings shown stay, with their emission remade, or, should even that
// fail, with none (threshold and softness 0), and stderr says so.
LightSettings WithEmission(const LightSettings& shown, const LightSettings& next,
                           bool (*make)(std::uint8_t threshold, std::uint8_t softness));
