#include "startup_messages.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "scene_state.h"
#include "source_image.h"

namespace {

std::string Sides(std::int64_t width, std::int64_t height) {
  return std::to_string(width) + " \u00d7 " + std::to_string(height);
}

}  // namespace

std::string StartupFailure::ForBox() const { return detail.empty() ? message : message + "\n" + detail; }

std::string StartupFailure::ForTerminal() const {
  std::string line = message;
  std::replace(line.begin(), line.end(), '\n', ' ');
  return detail.empty() ? line : line + "\n" + detail;
}

StartupFailure StartupMessage(LoadResult result, const std::string& fileName) {
  const auto [width, height] = LastCheckedSides();
  switch (result) {
    case LoadResult::Loaded:
      return {};
    case LoadResult::NotFound:
      return {"The file " + fileName + " don't found,\nthe application will be closed.", {}};
    case LoadResult::TooSmall:
      return {"The file " + fileName + " is invalid,\nor smaller.",
              "Pictures must be at least 100 pixels a side; this one is " + Sides(width, height) + "."};
    case LoadResult::TooLarge:
      return {"The file " + fileName + " is too large,\nat most " + std::to_string(kMaxPictureSide) +
                  " pixels a side.",
              "This one is " + Sides(width, height) + "."};
    case LoadResult::Unsupported:
      return {"The format of " + fileName + " is not supported.",
              "Glintor reads BMP (24 or 32 bits a pixel), PNG and JPEG files."};
    case LoadResult::UnknownFormat:
      return {"The format of " + fileName + " is not supported.", "Glintor reads BMP, PNG and JPEG files."};
    case LoadResult::OutOfMemory:
      return {"There is not enough memory for " + fileName + ",\nthe application will be closed.", {}};
  }
  return {};
}
