#include "reference_renderer.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

int Sign(int value) { return value < 0 ? -1 : 1; }

// Walks from a to b (inclusive) along a straight horizontal or vertical line.
void AppendLine(std::vector<Pixel>& pixels, Pixel a, Pixel b) {
  const int dc = b.column == a.column ? 0 : Sign(b.column - a.column);
  const int dr = b.row == a.row ? 0 : Sign(b.row - a.row);
  for (Pixel p = a;; p = {p.column + dc, p.row + dr}) {
    pixels.push_back(p);
    if (p == b) break;
  }
}

}  // namespace

std::vector<Pixel> ReferenceRayPixels(Pixel light, Pixel target) {
  const int dc = target.column - light.column;
  const int dr = target.row - light.row;
  const bool columnsMajor = std::abs(dc) > std::abs(dr);
  const int n = std::max(std::abs(dc), std::abs(dr));
  const int m = std::min(std::abs(dc), std::abs(dr));
  std::vector<Pixel> pixels;
  for (int i = 1; i <= n; ++i) {
    // i steps along the major axis, floor(i * m / n) along the minor one.
    const int major = i;
    const int minor = static_cast<int>(static_cast<long long>(i) * m / n);
    if (columnsMajor) {
      pixels.push_back({light.column + Sign(dc) * major, light.row + Sign(dr) * minor});
    } else {
      pixels.push_back({light.column + Sign(dc) * minor, light.row + Sign(dr) * major});
    }
  }
  return pixels;
}

std::vector<Pixel> ReferenceVisits(Quadrant quadrant, int width, int height, Pixel light) {
  const int lc = light.column, lr = light.row, right = width - 1, top = height - 1;
  std::vector<Pixel> visits;
  // Each ring: start -> corner along one side, then on from the corner to the end.
  auto ring = [&](Pixel start, Pixel corner, Pixel end) {
    AppendLine(visits, start, corner);
    const Pixel afterCorner = {corner.column + (end.column == corner.column ? 0 : Sign(end.column - corner.column)),
                               corner.row + (end.row == corner.row ? 0 : Sign(end.row - corner.row))};
    AppendLine(visits, afterCorner, end);
  };
  switch (quadrant) {
    case Quadrant::LowerLeft:
      for (int k = 0; k < std::min(lc, lr); ++k)
        ring({k, k == 0 ? lr : lr - 1}, {k, k}, {lc, k});
      break;
    case Quadrant::LowerRight:
      for (int k = 0; k < std::min(right - lc, lr); ++k)
        ring({lc + 1, k}, {right - k, k}, {right - k, lr});
      break;
    case Quadrant::UpperLeft:
      for (int k = 0; k < std::min(lc, top - lr); ++k)
        ring({lc - 1, top - k}, {k, top - k}, {k, lr});
      break;
    case Quadrant::UpperRight:
      for (int k = 0; k < std::min(right - lc, top - lr); ++k)
        ring({right - k, lr + 1}, {right - k, top - k}, {lc, top - k});
      break;
  }
  return visits;
}

ReferenceRenderer::ReferenceRenderer(AccumulationMode mode_, int width_, int height_,
                                     std::vector<std::uint8_t> source_)
    : mode(mode_),
      width(width_),
      height(height_),
      source(std::move(source_)),
      coverage(static_cast<std::size_t>(width_ * height_)),
      accum(static_cast<std::size_t>(width_ * height_ * 3)),
      counts(static_cast<std::size_t>(width_ * height_)),
      output(static_cast<std::size_t>(width_ * height_ * 3)) {}

void ReferenceRenderer::TraceRay(Pixel light, Pixel target) {
  std::uint32_t sums[3] = {0, 0, 0};
  std::uint32_t step = 0;
  for (const Pixel& p : ReferenceRayPixels(light, target)) {
    ++step;
    const auto index = static_cast<std::size_t>(p.row * width + p.column);
    coverage[index] = 1;
    counts[index] = static_cast<std::uint16_t>(step);
    for (std::size_t c = 0; c < 3; ++c) {
      const std::uint32_t sample = source[index * 3 + c];
      sums[c] += mode == AccumulationMode::Weighted ? sample * step : sample;
      accum[index * 3 + c] = sums[c];
    }
  }
}

void ReferenceRenderer::RenderFrame(Pixel light) {
  std::fill(coverage.begin(), coverage.end(), 0);
  for (Quadrant quadrant : kQuadrants) {
    for (const Pixel& target : ReferenceVisits(quadrant, width, height, light)) {
      if (coverage[static_cast<std::size_t>(target.row * width + target.column)] == 0)
        TraceRay(light, target);
    }
  }
  Composite();
}

void ReferenceRenderer::Composite() {
  for (std::size_t index = 0; index < counts.size(); ++index) {
    const std::uint32_t n = counts[index];
    const std::uint32_t divisor = mode == AccumulationMode::Weighted ? n * n : n;
    for (std::size_t c = 0; c < 3; ++c) {
      const std::uint32_t quotient = n == 0 ? 0 : (accum[index * 3 + c] / divisor) & 0xFFFF;
      const std::uint32_t value = (source[index * 3 + c] + quotient) & 0xFFFF;
      output[index * 3 + c] = static_cast<std::uint8_t>(std::min<std::uint32_t>(value, 255));
    }
  }
}
