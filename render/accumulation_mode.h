#pragma once

#include "scene_state.h"

// The build gives every renderer library (and the tests built against it)
// its mode, e.g. -DGLINTOR_ACCUMULATION_MODE=Weighted.
#ifndef GLINTOR_ACCUMULATION_MODE
#error "GLINTOR_ACCUMULATION_MODE must be defined as Weighted or Uniform"
#endif

inline constexpr AccumulationMode kAccumulationMode =
    AccumulationMode::GLINTOR_ACCUMULATION_MODE;
