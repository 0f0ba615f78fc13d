#pragma once

#include <cstdint>

// A rectangle in screen coordinates, right and bottom exclusive.
struct ClientRectangle {
  std::int32_t left;
  std::int32_t top;
  std::int32_t right;
  std::int32_t bottom;
};

// The client area of the main window, centred on a screen of the given size.
// A picture larger than the screen gets a negative edge, rounded toward zero.
ClientRectangle CentreClientRectangle(std::int32_t screenWidth, std::int32_t screenHeight,
                                      std::uint16_t width, std::uint16_t height);
