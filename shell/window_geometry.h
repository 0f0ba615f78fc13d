#pragma once

#include <cstdint>

// A rectangle in screen coordinates, right and bottom exclusive.
struct ClientRectangle {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};

// The client area of the main window, centred on a screen with the given
// bounds (whose origin need not be 0, 0). A picture larger than the screen
// sticks out on both sides, its leftover halved toward zero.
ClientRectangle CentreClientRectangle(const ClientRectangle& screen, std::uint16_t width,
                                      std::uint16_t height);
