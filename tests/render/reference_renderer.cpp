#include "reference_renderer.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

int Sign(int value) { return (value > 0) - (value < 0); }

}  // namespace

ReferenceRenderer::ReferenceRenderer(AccumulationMode mode_, int width_, int height_,
                                     std::vector<std::uint8_t> source_)
    : mode(mode_), width(width_), height(height_), source(std::move(source_)),
      coverage(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_)),
      accum(coverage.size() * 3), counts(coverage.size()), output(coverage.size() * 3) {}

bool ReferenceRenderer::Inside(Pixel p) const {
  return p.column >= 0 && p.column < width && p.row >= 0 && p.row < height;
}

// Step i of n along the major axis goes floor(i * m / n) of m along the
// minor one, so minor steps come as late as possible; ties make rows major.
// From a light outside, steps are counted from the first pixel inside.
void ReferenceRenderer::TraceRay(Pixel light, Pixel target, bool targetAlone) {
  const int dc = target.column - light.column, dr = target.row - light.row;
  const bool columnsMajor = std::abs(dc) > std::abs(dr);
  const int n = std::max(std::abs(dc), std::abs(dr)), m = std::min(std::abs(dc), std::abs(dr));
  std::uint32_t sums[3] = {0, 0, 0};
  std::uint32_t counted = 0;
  for (int i = 1; i <= n; ++i) {
    const int minor = static_cast<int>(static_cast<long long>(i) * m / n);
    const int column = light.column + Sign(dc) * (columnsMajor ? i : minor);
    const int row = light.row + Sign(dr) * (columnsMajor ? minor : i);
    if (!Inside({column, row})) continue;
    ++counted;
    const std::size_t index = static_cast<std::size_t>(row) * static_cast<std::size_t>(width) +
                              static_cast<std::size_t>(column);
    for (std::size_t c = 0; c < 3; ++c) {
      const std::uint32_t sample = Emitted(index, c);
      sums[c] += mode == AccumulationMode::Weighted ? sample * counted : sample;
    }
    if (targetAlone && i < n) continue;
    coverage[index] = 1;
    counts[index] = static_cast<std::uint16_t>(counted);
    for (std::size_t c = 0; c < 3; ++c) accum[index * 3 + c] = sums[c];
  }
}

void ReferenceRenderer::RenderFrame(Pixel light) {
  std::fill(coverage.begin(), coverage.end(), 0);
  // Every pixel from a to b on a row or a column, both included, but those
  // outside the picture.
  auto line = [&](Pixel a, Pixel b) {
    for (Pixel p = a;; p = {p.column + Sign(b.column - a.column), p.row + Sign(b.row - a.row)}) {
      if (Inside(p) && coverage[static_cast<std::size_t>(p.row * width + p.column)] == 0) TraceRay(light, p);
      if (p.column == b.column && p.row == b.row) return;
    }
  };
  // A ring goes from its start to a corner, then on from the corner to its end.
  auto ring = [&](Pixel start, Pixel corner, Pixel end) {
    line(start, corner);
    line({corner.column + Sign(end.column - corner.column), corner.row + Sign(end.row - corner.row)}, end);
  };
  // Each routine's rings from the picture's edges towards the light; a
  // routine whose quadrant lies outside the picture has none.
  const int lc = light.column, lr = light.row, right = width - 1, top = height - 1;
  for (int k = 0; k < std::min(lc, lr); ++k) ring({k, k == 0 ? lr : lr - 1}, {k, k}, {lc, k});
  for (int k = 0; k < std::min(right - lc, lr); ++k) ring({lc + 1, k}, {right - k, k}, {right - k, lr});
  for (int k = 0; k < std::min(lc, top - lr); ++k) ring({lc - 1, top - k}, {k, top - k}, {k, lr});
  for (int k = 0; k < std::min(right - lc, top - lr); ++k)
    ring({right - k, lr + 1}, {right - k, top - k}, {lc, top - k});
  // Every pixel no ray reached gets the ray to it alone; the light's own
  // one, a ray of one step ending on it.
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      const auto index = static_cast<std::size_t>(row * width + column);
      if (coverage[index] != 0) continue;
      if (column != lc || row != lr) {
        TraceRay(light, {column, row}, true);
        continue;
      }
      coverage[index] = 1;
      counts[index] = 1;
      for (std::size_t c = 0; c < 3; ++c) accum[index * 3 + c] = Emitted(index, c);
    }
  }
  Composite();
}

std::uint32_t ReferenceRenderer::Emitted(std::size_t index, std::size_t c) const {
  const std::uint32_t b = source[index * 3], g = source[index * 3 + 1], r = source[index * 3 + 2];
  const int luma = static_cast<int>((77 * r + 150 * g + 29 * b + 128) >> 8);
  const int t = settings.threshold, s = settings.softness;
  if (s == 0) return luma >= t ? source[index * 3 + c] : 0;
  // A ramp over t - s <= luma < t + s.
  const int d = luma - t + s;
  const int weight = d <= 0 ? 0 : std::min(255, (255 * d + s) / (2 * s));
  return (source[index * 3 + c] * static_cast<std::uint32_t>(weight) + 127) / 255;
}

void ReferenceRenderer::Composite() {
  // The sum over the count (Uniform) or its square (Weighted), reduced to
  // 16 bits, scaled by the strength and tinted; added to the source (final)
  // or to black (rays), reduced to 16 bits, clamped to 255; or screened.
  for (std::size_t index = 0; index < counts.size(); ++index) {
    const std::uint32_t n = counts[index];
    const std::uint32_t divisor = mode == AccumulationMode::Weighted ? n * n : n;
    for (std::size_t c = 0; c < 3; ++c) {
      const std::uint32_t quotient = n == 0 ? 0 : (accum[index * 3 + c] / divisor) & 0xFFFF;
      const std::uint32_t light = std::min<std::uint32_t>((quotient * settings.strength + 50) / 100, 65535);
      const std::uint32_t added = (light * settings.tint[c] + 127) / 255;
      const std::uint32_t base = settings.view == ShownView::Final ? source[index * 3 + c] : 0;
      const std::uint32_t a = std::min<std::uint32_t>(added, 255);
      const std::uint32_t value =
          settings.blend == Blend::Screen ? base + a - (base * a + 127) / 255 : (base + added) & 0xFFFF;
      output[index * 3 + c] = settings.view == ShownView::Emission
                                  ? static_cast<std::uint8_t>(Emitted(index, c))
                                  : static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 255));
    }
  }
}
