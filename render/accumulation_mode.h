#pragma once

#include "scene_state.h"

// The mode a program is built with: its build passes
// GLINTOR_ACCUMULATION_MODE=Weighted or =Uniform. Only a program's own
// sources include this; the renderer itself is built for both modes.
#ifndef GLINTOR_ACCUMULATION_MODE
#error "GLINTOR_ACCUMULATION_MODE must be defined as Weighted or Uniform"
#endif

inline constexpr AccumulationMode kAccumulationMode =
    AccumulationMode::GLINTOR_ACCUMULATION_MODE;

// The mode's name as users see it: in program names and saved frames.
inline constexpr const char* kAccumulationModeName =
    kAccumulationMode == AccumulationMode::Weighted ? "weighted" : "uniform";
