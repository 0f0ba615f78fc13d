#include "scene.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace {

struct Colour {
  double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour Add(Colour a, Colour b, double amount) {
  return {a.r + b.r * amount, a.g + b.g * amount, a.b + b.b * amount};
}

constexpr Colour kSkyTop{24, 38, 104};
constexpr Colour kSkyMiddle{214, 120, 92};
constexpr Colour kHorizon{255, 214, 150};
constexpr Colour kSun{255, 252, 228};
constexpr Colour kGlow{255, 190, 110};
constexpr Colour kMountains{74, 46, 84};
constexpr Colour kSilhouette{10, 8, 14};
constexpr Colour kLamps[] = {{255, 60, 40}, {60, 230, 90}, {70, 120, 255}, {250, 70, 220}};
constexpr Colour kWindows[] = {{255, 200, 40}, {40, 220, 255}, {255, 90, 60}};

// All shapes are placed in u (0 left .. 1 right) and v (0 top .. 1 bottom);
// distances that must look round are measured in picture heights.
Colour Shade(double u, double v, double aspect) {
  Colour colour = v < 0.45 ? Mix(kSkyTop, kSkyMiddle, v / 0.45)
                           : Mix(kSkyMiddle, kHorizon, (v - 0.45) / 0.2);

  const double sunU = 0.62, sunV = 0.43, sunRadius = 0.07;
  const double sunDistance = std::hypot((u - sunU) * aspect, v - sunV);
  colour = Add(colour, kGlow, 0.55 * std::exp(-sunDistance * 7.0));
  if (sunDistance < sunRadius) colour = kSun;

  const double ridge = 0.60 - 0.07 * (0.5 + 0.5 * std::sin(u * 9.0 + 1.0)) -
                       0.03 * std::sin(u * 23.0 + 0.5);
  if (v > ridge) colour = Mix(kMountains, kSilhouette, (v - ridge) * 4.0);

  // A colonnade: pillars with gaps under a lintel, left of the sun.
  const double lintelTop = 0.40, lintelBottom = 0.45, colonnadeLeft = 0.26,
               colonnadeRight = 0.54;
  if (u > colonnadeLeft && u < colonnadeRight) {
    const double phase = std::fmod((u - colonnadeLeft) * aspect / 0.065, 1.0);
    if ((v > lintelTop && v < lintelBottom) || (v >= lintelBottom && phase < 0.38)) {
      colour = kSilhouette;
    }
  }

  // A tower on the right with three coloured windows.
  if (u > 0.80 && u < 0.88 && v > 0.30) {
    colour = kSilhouette;
    for (int i = 0; i < 3; ++i) {
      const double top = 0.36 + 0.1 * i;
      if (u > 0.825 && u < 0.855 && v > top && v < top + 0.05) colour = kWindows[i];
    }
  }

  // Trees: trunks with triangular crowns, gaps between them.
  const double trees[][2] = {{0.07, 0.11}, {0.17, 0.08}, {0.72, 0.09}, {0.95, 0.12}};
  for (const auto& tree : trees) {
    const double centre = tree[0], size = tree[1];
    const double crownTop = 0.78 - 3.2 * size, crownBottom = 0.78 - 0.6 * size;
    const double halfWidth = (v - crownTop) / (crownBottom - crownTop) * size * 0.5 / aspect;
    if (v > crownTop && v < crownBottom && std::abs(u - centre) < halfWidth) colour = kSilhouette;
    if (v >= crownBottom && std::abs(u - centre) < size * 0.06 / aspect) colour = kSilhouette;
  }

  // Rolling ground in front of everything, with lamps standing on it.
  const double ground = 0.80 - 0.04 * std::sin(u * 5.3) - 0.02 * std::sin(u * 13.0 + 2.0);
  if (v > ground) colour = kSilhouette;
  for (int i = 0; i < 4; ++i) {
    const double lampU = 0.12 + 0.24 * i, lampV = 0.88;
    const double distance = std::hypot((u - lampU) * aspect, v - lampV);
    if (distance < 0.018) colour = kLamps[i];
  }
  return colour;
}

std::uint8_t Channel(double value) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(value, 0.0, 255.0)));
}

}  // namespace

std::vector<std::uint8_t> DrawScene(std::uint32_t width, std::uint32_t height) {
  std::vector<std::uint8_t> pixels(std::size_t{width} * height * 3);
  const double aspect = static_cast<double>(width) / height;
  std::size_t at = 0;
  // Bottom row first, as the picture is stored.
  for (std::uint32_t row = 0; row < height; ++row) {
    const double v = 1.0 - (row + 0.5) / height;
    for (std::uint32_t column = 0; column < width; ++column) {
      const double u = (column + 0.5) / width;
      const Colour colour = Shade(u, v, aspect);
      pixels[at++] = Channel(colour.b);
      pixels[at++] = Channel(colour.g);
      pixels[at++] = Channel(colour.r);
    }
  }
  return pixels;
}
