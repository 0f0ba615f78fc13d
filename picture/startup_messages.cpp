#include "startup_messages.h"

#include <string>

#include "scene_state.h"

std::string StartupMessage(LoadResult result, const std::string& fileName) {
  switch (result) {
    case LoadResult::Loaded:
      return {};
    case LoadResult::NotFound:
      return "The file " + fileName + " don't found,\nthe application will be closed.";
    case LoadResult::TooSmall:
      return "The file " + fileName + " is invalid,\nor smaller.";
    case LoadResult::TooLarge:
      return "The file " + fileName + " is too large,\nat most " +
             std::to_string(kMaxPictureSide) + " pixels a side.";
    case LoadResult::Unsupported:
    case LoadResult::UnknownFormat:
      return "The format of " + fileName + " is not supported.";
    case LoadResult::OutOfMemory:
      return "There is not enough memory for " + fileName +
             ",\nthe application will be closed.";
  }
  return {};
}
