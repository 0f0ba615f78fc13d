#include "frame_output.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

#include "bmp_file.h"
#include "frame_file.h"
#include "png_encoder.h"
#include "scene_state.h"

namespace fs = std::filesystem;

namespace {

bool IsInput(const std::string& name, const std::string& input) {
  std::error_code error;
  return fs::equivalent(name, input, error);
}

}  // namespace

std::optional<ImageKind> KindOfName(std::string_view name) {
  std::string extension = fs::path(name).extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (extension == ".png") return ImageKind::Png;
  if (extension == ".bmp") return ImageKind::Bmp;
  return std::nullopt;
}

// Checked by name for every frame, a few microseconds each.
std::string InputOverwritten(const std::string& input, const std::optional<std::string>& output,
                             const std::optional<FramePattern>& frames, std::size_t frameCount) {
  if (output && IsInput(*output, input)) return "the output is the input picture: " + *output;
  for (std::size_t number = 0; frames && number < frameCount; ++number) {
    const std::string frameName = frames->Name(number);
    if (IsInput(frameName, input)) {
      return "--frames: frame " + std::to_string(number) + " is the input picture: " + frameName;
    }
  }
  return {};
}

bool WriteFrame(const std::string& name, ImageKind kind, std::error_code& reason) {
  if (kind == ImageKind::Bmp) return WriteBmp(name, scene.width, scene.height, 24, scene.output, reason);
  const auto write = [](const fs::path& file, std::error_code& failure) {
    return WritePng(file, scene.width, scene.height, scene.output, failure);
  };
  return WriteThroughTemporary(name, true, write, reason) == WriteOutcome::Written;
}
