#pragma once

#include "startup_messages.h"

// The SDL backend's picture reader, also used by the offline renderer; needs
// no display.
LoadResult LoadSourceImage(const char* fileName);
