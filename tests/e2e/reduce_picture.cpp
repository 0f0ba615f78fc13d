// Reduces a picture as a viewer whose window is smaller than the picture
// shows it, into a 24-bit BMP. Usage: glintor-reduce-picture IN OUT WIDTH HEIGHT

#include <cstdio>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "bmp_file.h"
#include "reduction.h"
#include "scene_state.h"
#include "sdl_backend.h"

int main(int argc, char** argv) {
  const long width = argc == 5 ? std::strtol(argv[3], nullptr, 10) : 0;
  const long height = argc == 5 ? std::strtol(argv[4], nullptr, 10) : 0;
  if (width < 1 || height < 1) {
    std::fputs("usage: glintor-reduce-picture IN OUT WIDTH HEIGHT\n", stderr);
    return 2;
  }
  if (LoadSourceImage(argv[1]) != LoadResult::Loaded || width > scene.width || height > scene.height) {
    std::fprintf(stderr, "glintor-reduce-picture: cannot reduce %s to %ld x %ld\n", argv[1], width, height);
    return 1;
  }
  std::vector<std::uint8_t> reduced(static_cast<std::size_t>(width * height * 3));
  std::error_code reason;
  const bool written =
      ReducePicture(scene.source, scene.width, scene.height, reduced.data(), static_cast<std::uint32_t>(width),
                    static_cast<std::uint32_t>(height)) &&
      WriteBmp(argv[2], static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height),
                                24, reduced.data(), reason);
  ReleaseBuffers();
  return written ? 0 : 1;
}
