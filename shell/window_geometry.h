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

// Where a window can go: the whole primary screen, the part of it that
// windows may cover (without task bars and docks), and how much the
// window's frame (title bar and borders) adds around its client area:
// nothing where no window manager tells.
struct ScreenAreas {
  ClientRectangle screen;
  ClientRectangle usable;
  std::int32_t frameLeft, frameTop;      // from the window's edge to the client area
  std::int32_t frameWidth, frameHeight;  // left and right, top and bottom together
};

struct WindowPlacement {
  ClientRectangle client;
  bool scaled;  // the client area shows the picture reduced
};

// A picture whose window fits the usable area is shown 1:1 in a client area
// centred on the screen, moved just within the usable area where its frame
// would reach over a panel. A larger one is reduced by the largest factor
// under 1 with which its window fits, each side rounded to the nearest
// pixel and at least 1, the window centred on the usable area.
WindowPlacement PlaceWindow(const ScreenAreas& areas, std::uint16_t width, std::uint16_t height);

// The picture pixel a pixel of a reduced window shows, rows counted from
// the bottom: window pixels are spread evenly over the picture, so that the
// four corners give the picture's four corners and every other one the
// picture pixel nearest under its centre. Positions outside the window
// become 0, as in a window of the picture's size.
struct PicturePixel {
  std::int32_t column;
  std::int32_t row;
};
PicturePixel MapWindowPixelToPicture(std::uint16_t x, std::uint16_t y, std::uint16_t windowWidth,
                                     std::uint16_t windowHeight, std::uint16_t width,
                                     std::uint16_t height);

// The same spread carried on past the window's edges, for a pointer dragged
// out of it, each coordinate kept within the light's range (LightInRange).
PicturePixel MapDraggedWindowPixelToPicture(std::int32_t x, std::int32_t y, std::uint16_t windowWidth,
                                            std::uint16_t windowHeight, std::uint16_t width,
                                            std::uint16_t height);
