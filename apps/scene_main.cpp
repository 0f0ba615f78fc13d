// glintor-scene: writes the bundled picture, at any size and depth, as a BMP.

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "number_pair.h"
#include "bmp_file.h"
#include "frame_file.h"
#include "scene.h"

namespace {

constexpr const char* kUsage =
    "usage: glintor-scene [--size WIDTHxHEIGHT] [--depth 8|16|24|32] OUTPUT.bmp\n"
    "Writes the bundled scene as a bottom-up BMP (default 640x480, 24 bits).\n";

// Keeps a mistyped size from asking for gigabytes.
constexpr std::uint64_t kMaxPixels = std::uint64_t{1} << 28;

int Usage(const char* problem) {
  if (problem != nullptr) std::fprintf(stderr, "glintor-scene: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::uint32_t width = 640, height = 480;
  unsigned depth = 24;
  const char* output = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (argument == "--size" && i + 1 < argc) {
      if (!ParsePair(argv[++i], 'x', 65535, &width, &height) || width == 0 || height == 0 ||
          std::uint64_t{width} * height > kMaxPixels) {
        return Usage("the size must be WIDTHxHEIGHT, 1 to 65535 each, 268435456 pixels at most");
      }
    } else if (argument == "--depth" && i + 1 < argc) {
      const std::string_view value = argv[++i];
      if (value == "8") depth = 8;
      else if (value == "16") depth = 16;
      else if (value == "24") depth = 24;
      else if (value == "32") depth = 32;
      else return Usage("the depth must be 8, 16, 24 or 32");
    } else if (argument.starts_with("-") || output != nullptr) {
      return Usage(("unexpected argument: " + std::string(argument)).c_str());
    } else {
      output = argv[i];
    }
  }
  if (output == nullptr) return Usage("no output file given");

  const auto pixels = DrawScene(width, height);
  std::error_code reason;
  if (!WriteBmp(output, width, height, depth, pixels.data(), reason)) {
    std::fprintf(stderr, "glintor-scene: could not write %s: %s\n", output, ReasonText(reason).c_str());
    return 1;
  }
  return 0;
}
