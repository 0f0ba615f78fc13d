#include "viewer.h"

#include <cstdio>
#include <string>

#include "frame_file.h"
#include "scene_state.h"
#include "window_geometry.h"

namespace fs = std::filesystem;

namespace {

// The picture shown, the program showing it and the encoder, for the S key.
fs::path shownPicture;
const char* shownMode = "";
PngWriter shownWriter = nullptr;

void SaveFrameOfShownPicture() { SaveShownFrame(shownPicture, shownMode, shownWriter); }

void PrintUsage(std::FILE* stream, const char* programName) {
  std::fprintf(stream,
               "usage: %s [PICTURE]\n"
               "Shows PICTURE (BMP, PNG or JPEG; without one, source.bmp in the current\n"
               "folder) lit by a light that follows the mouse. S or Ctrl+S saves the frame\n"
               "shown as a PNG beside the picture; Escape or the close button ends.\n",
               programName);
}

// The user may have started us from a terminal, or have no display at all:
// the message also goes to stderr.
int FailStartup(const ShellBackend& backend, const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  backend.showError(text.c_str());
  backend.closeMainWindow();
  ReleaseBuffers();
  return 1;
}

}  // namespace

int ViewerMain(const ShellBackend& backend, const ViewerProgram& program,
               const std::vector<fs::path>& arguments) {
  for (const fs::path& argument : arguments) {
    if (argument == "--") break;  // what follows is a picture's name
    if (argument == "-h" || argument == "--help") {
      PrintUsage(stdout, program.name);
      return 0;
    }
  }
  // At most one picture; "--" before it lets its name start with a dash.
  const bool dashes = !arguments.empty() && arguments[0] == "--";
  const std::vector<fs::path> pictures(arguments.begin() + (dashes ? 1 : 0), arguments.end());
  const bool looksLikeOption =
      !dashes && !pictures.empty() && pictures[0].native().starts_with(fs::path::value_type{'-'});
  if (pictures.size() > 1 || (dashes && pictures.empty()) || looksLikeOption) {
    PrintUsage(stderr, program.name);
    return 2;
  }
  const bool named = !pictures.empty();
  const fs::path picture = named ? pictures[0] : fs::path(kSourceFileName);
  const std::string pictureName = DisplayName(picture);

  scene.busy = 0;
  LoadResult loaded = backend.loadSourceImage(picture);
  // A source.bmp that is no picture at all is not found, as it always was.
  if (loaded == LoadResult::UnknownFormat && !named) loaded = LoadResult::NotFound;
  if (loaded != LoadResult::Loaded) return FailStartup(backend, StartupMessage(loaded, pictureName));

  ClientRectangle screen{};
  if (!backend.primaryScreenBounds(&screen)) return FailStartup(backend, kWindowFailedMessage);
  const ClientRectangle client = CentreClientRectangle(screen, scene.width, scene.height);
  if (!backend.openMainWindow(client)) return FailStartup(backend, kWindowFailedMessage);

  if (!AllocateFrameBuffers()) {
    return FailStartup(backend, StartupMessage(LoadResult::OutOfMemory, pictureName));
  }
  scene.lightColumn = static_cast<std::uint16_t>(scene.width >> 1);
  scene.lightRow = static_cast<std::uint16_t>(scene.height >> 1);
  program.renderFrame();

  shownPicture = picture;
  shownMode = program.modeName;
  shownWriter = backend.writePng;
  backend.runMessageLoop({program.renderFrame, SaveFrameOfShownPicture});
  backend.closeMainWindow();
  ReleaseBuffers();
  return 0;
}

bool SaveShownFrame(const fs::path& picture, const char* modeName, PngWriter writePng) {
  const auto write = [writePng](const fs::path& file, std::error_code& reason) {
    return writePng(file, scene.width, scene.height, scene.output, reason);
  };
  // Far more tries than any folder holds frames of one light.
  for (unsigned n = 1; n <= 100000; ++n) {
    const fs::path target = SavedFrameName(picture, modeName, scene.lightColumn, scene.lightRow, n);
    std::error_code reason;
    const WriteOutcome outcome = WriteThroughTemporary(target, false, write, reason);
    if (outcome == WriteOutcome::Exists) continue;
    if (outcome == WriteOutcome::Written) {
      std::printf("%s\n", DisplayName(target).c_str());
      std::fflush(stdout);
      return true;
    }
    std::fprintf(stderr, "The frame could not be saved to %s: %s.\n", DisplayName(target).c_str(),
                 ReasonText(reason).c_str());
    std::fflush(stderr);
    return false;
  }
  std::fprintf(stderr, "The frame could not be saved: too many frames of this light.\n");
  return false;
}
