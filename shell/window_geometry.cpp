#include "window_geometry.h"

ClientRectangle CentreClientRectangle(const ClientRectangle& screen, std::uint16_t width,
                                      std::uint16_t height) {
  // C++ integer division truncates toward zero, as required for negatives.
  ClientRectangle client{};
  client.left = screen.left + (screen.right - screen.left - std::int32_t{width}) / 2;
  client.top = screen.top + (screen.bottom - screen.top - std::int32_t{height}) / 2;
  client.right = client.left + width;
  client.bottom = client.top + height;
  return client;
}
