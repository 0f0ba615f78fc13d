// Compares a screenshot of the viewer with glintor-render's frame for one
// light, at the pixels a ray of that frame covers; the others carry values
// over from earlier frames. Prints "DIFFERING COVERED" and exits 0, or 2 on
// bad input.
// Usage: glintor-covered-difference SHOT.ppm FRAME.bmp COLUMN ROW

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "reference_renderer.h"

namespace {

std::vector<std::uint8_t> ReadAll(const char* path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

int Usage(const char* problem) {
  std::fprintf(stderr, "glintor-covered-difference: %s\n"
                       "usage: glintor-covered-difference SHOT.ppm FRAME.bmp COLUMN ROW\n", problem);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) return Usage("four arguments needed");
  // An 8-bit binary PPM, top row first, R, G, B.
  const auto shot = ReadAll(argv[1]);
  std::istringstream header(
      std::string(reinterpret_cast<const char*>(shot.data()), std::min<std::size_t>(shot.size(), 64)));
  std::string magic;
  int width = 0, height = 0, maximum = 0;
  header >> magic >> width >> height >> maximum;
  if (magic != "P6" || maximum != 255 || width <= 0 || height <= 0) return Usage("not an 8-bit P6 PPM");
  const auto pixelsAt = static_cast<std::size_t>(header.tellg()) + 1;
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  if (shot.size() != pixelsAt + rowBytes * static_cast<std::size_t>(height)) return Usage("PPM of the wrong size");
  // glintor-render's 24-bit bottom-up BMP, B, G, R, rows padded to 4 bytes.
  const auto frame = ReadAll(argv[2]);
  const std::size_t stride = (rowBytes + 3) / 4 * 4;
  if (frame.size() != 54 + stride * static_cast<std::size_t>(height)) return Usage("BMP of another size");
  const Pixel light{std::atoi(argv[3]), std::atoi(argv[4])};
  if (light.column < 0 || light.column >= width || light.row < 0 || light.row >= height) {
    return Usage("light outside the picture");
  }

  // Coverage does not depend on the picture or the mode.
  ReferenceRenderer reference(AccumulationMode::Weighted, width, height,
                              std::vector<std::uint8_t>(rowBytes * static_cast<std::size_t>(height)));
  reference.RenderFrame(light);
  std::size_t covered = 0, differing = 0;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) {
      if (reference.coverage[static_cast<std::size_t>(row * width + column)] == 0) continue;
      ++covered;
      const std::uint8_t* bgr = &frame[54 + stride * static_cast<std::size_t>(row) + static_cast<std::size_t>(column) * 3];
      const std::uint8_t* rgb = &shot[pixelsAt + rowBytes * static_cast<std::size_t>(height - 1 - row) +
                                      static_cast<std::size_t>(column) * 3];
      differing += bgr[0] != rgb[2] || bgr[1] != rgb[1] || bgr[2] != rgb[0];
    }
  }
  std::printf("%zu %zu\n", differing, covered);
  return 0;
}
