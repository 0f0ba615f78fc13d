#pragma once

#include <cstdint>

struct LightPosition {
  std::int32_t column;
  std::int32_t row;
};

// Where a pointer at client position (x, y), origin top-left, puts the light
// in a picture of width x height: client rows count from the top, picture
// rows from the bottom. Positions outside the picture become 0. Both
// coordinates are taken modulo 65536, as the platform delivers them.
LightPosition MapPointerToLight(std::uint16_t x, std::uint16_t y, std::uint16_t width,
                                std::uint16_t height);

// While a mouse button is held the window keeps the pointer, wherever it
// goes, and the light follows it past the picture's edges: column x, row
// height - y, each kept within the light's range (LightInRange).
LightPosition MapDraggedPointerToLight(std::int32_t x, std::int32_t y, std::uint16_t width,
                                       std::uint16_t height);

// A pointer move in the main window: unless a frame is being rendered, moves
// the light of the scene to the pointer and renders a frame.
void HandlePointerMove(std::uint16_t x, std::uint16_t y, void (*renderFrame)());
// The same while a button is held.
void HandlePointerDrag(std::int32_t x, std::int32_t y, void (*renderFrame)());
