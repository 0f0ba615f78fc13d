#include "window_geometry.h"

#include <algorithm>

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

namespace {

// How far [from, to) must move to lie within [low, high), which it fits.
std::int32_t IntoRange(std::int32_t from, std::int32_t to, std::int32_t low, std::int32_t high) {
  return from < low ? low - from : to > high ? high - to : 0;
}

}  // namespace

WindowPlacement PlaceWindow(const ScreenAreas& areas, std::uint16_t width, std::uint16_t height) {
  const std::int64_t roomWidth = std::int64_t{areas.usable.right} - areas.usable.left - areas.frameWidth;
  const std::int64_t roomHeight = std::int64_t{areas.usable.bottom} - areas.usable.top - areas.frameHeight;
  if (width <= roomWidth && height <= roomHeight) {
    ClientRectangle client = CentreClientRectangle(areas.screen, width, height);
    // Centred on the screen, its frame may reach over a panel: then it is
    // moved just within the usable area, where it fits.
    const std::int32_t outerLeft = client.left - areas.frameLeft, outerTop = client.top - areas.frameTop;
    const std::int32_t dx = IntoRange(outerLeft, outerLeft + width + areas.frameWidth, areas.usable.left, areas.usable.right);
    const std::int32_t dy = IntoRange(outerTop, outerTop + height + areas.frameHeight, areas.usable.top, areas.usable.bottom);
    client = {client.left + dx, client.top + dy, client.right + dx, client.bottom + dy};
    return {client, false};
  }
  // The side that limits the factor gets the whole room; the other is
  // rounded to the nearest pixel: round(side * room / limiting side).
  const std::int64_t roomW = std::max<std::int64_t>(roomWidth, 1);
  const std::int64_t roomH = std::max<std::int64_t>(roomHeight, 1);
  std::int64_t clientWidth = roomW, clientHeight = roomH;
  if (roomW * height <= roomH * width) {
    clientHeight = (2 * std::int64_t{height} * roomW + width) / (2 * std::int64_t{width});
  } else {
    clientWidth = (2 * std::int64_t{width} * roomH + height) / (2 * std::int64_t{height});
  }
  clientWidth = std::clamp<std::int64_t>(clientWidth, 1, width);
  clientHeight = std::clamp<std::int64_t>(clientHeight, 1, height);
  const std::int64_t outerWidth = clientWidth + areas.frameWidth;
  const std::int64_t outerHeight = clientHeight + areas.frameHeight;
  ClientRectangle client{};
  client.left = static_cast<std::int32_t>(
      areas.usable.left + (std::int64_t{areas.usable.right} - areas.usable.left - outerWidth) / 2 +
      areas.frameLeft);
  client.top = static_cast<std::int32_t>(
      areas.usable.top + (std::int64_t{areas.usable.bottom} - areas.usable.top - outerHeight) / 2 +
      areas.frameTop);
  client.right = client.left + static_cast<std::int32_t>(clientWidth);
  client.bottom = client.top + static_cast<std::int32_t>(clientHeight);
  return {client, true};
}

namespace {

// Window position `at` of `window` spread over `picture` positions, the
// ends on the ends: round(at * (picture - 1) / (window - 1)).
std::uint16_t Spread(std::uint32_t at, std::uint32_t window, std::uint32_t picture) {
  if (window <= 1) return static_cast<std::uint16_t>(picture / 2);
  return static_cast<std::uint16_t>((2 * std::uint64_t{at} * (picture - 1) + (window - 1)) /
                                    (2 * std::uint64_t{window - 1}));
}

// Spread for any window position, rounding halves up as Spread does.
std::int64_t SpreadAnywhere(std::int64_t at, std::int64_t window, std::int64_t picture) {
  if (window <= 1) return picture / 2 + at * picture;
  const std::int64_t numerator = 2 * at * (picture - 1) + (window - 1), denominator = 2 * (window - 1);
  return numerator >= 0 ? numerator / denominator : -((-numerator + denominator - 1) / denominator);
}

}  // namespace

PicturePixel MapDraggedWindowPixelToPicture(std::int32_t x, std::int32_t y, std::uint16_t windowWidth,
                                            std::uint16_t windowHeight, std::uint16_t width,
                                            std::uint16_t height) {
  const std::int64_t w = width, h = height;
  const std::int64_t column = std::clamp(SpreadAnywhere(x, windowWidth, w), -w, 2 * w - 1);
  const std::int64_t row = std::clamp(h - 1 - SpreadAnywhere(y, windowHeight, h), -h, 2 * h - 1);
  return {static_cast<std::int32_t>(column), static_cast<std::int32_t>(row)};
}

PicturePixel MapWindowPixelToPicture(std::uint16_t x, std::uint16_t y, std::uint16_t windowWidth,
                                     std::uint16_t windowHeight, std::uint16_t width,
                                     std::uint16_t height) {
  PicturePixel pixel{};
  if (x < windowWidth) pixel.column = Spread(x, windowWidth, width);
  if (y < windowHeight) {
    pixel.row = static_cast<std::uint16_t>(height - 1 - Spread(y, windowHeight, height));
  }
  return pixel;
}
