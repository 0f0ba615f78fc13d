#include "window_geometry.h"

ClientRectangle CentreClientRectangle(std::int32_t screenWidth, std::int32_t screenHeight,
                                      std::uint16_t width, std::uint16_t height) {
  // C++ integer division truncates toward zero, as required for negatives.
  ClientRectangle client{};
  client.left = (screenWidth - std::int32_t{width}) / 2;
  client.top = (screenHeight - std::int32_t{height}) / 2;
  client.right = client.left + width;
  client.bottom = client.top + height;
  return client;
}
