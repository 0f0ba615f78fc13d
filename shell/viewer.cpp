#include "viewer.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "available_memory.h"
#include "frame_file.h"
#include "frame_saver.h"
#include "png_encoder.h"
#include "pointer_light.h"
#include "reduction.h"
#include "scene_state.h"
#include "settings_keys.h"
#include "viewer_arguments.h"
#include "window_geometry.h"
#include "window_link.h"

namespace fs = std::filesystem;

ShownImage shownImage{};

const unsigned kRestMilliseconds = [] {
  const char* const text = std::getenv("GLINTOR_REST_MILLISECONDS");
  char* end = nullptr;
  const unsigned long value = text != nullptr ? std::strtoul(text, &end, 10) : 0;
  return text != nullptr && *text != '\0' && *end == '\0' && value > 0 && value <= 0x7FFFFFFF
             ? static_cast<unsigned>(value)
             : 150u;
}();

namespace {

const ShellBackend* shell = nullptr;
// The picture shown, its name for the title, and the program showing it.
fs::path shownPicture;
std::string shownName;
const char* shownMode = "";
void (*renderFrame)() = nullptr;
// Escape or the close button came during a save: the window closes once the
// saves are written.
bool closePutOff = false;
// What R goes back to.
LightSettings startSettings;

// A picture larger than the window is shown reduced: exact frames of the
// picture, reduced to the window (`view`), and, while the pointer moves,
// previews rendered from the picture reduced once at load. The scene holds
// one of the two pictures at a time; the other waits in `aside`.
struct Reduction {
  bool active;
  std::uint16_t width, height;  // the client area's
  std::uint16_t pictureWidth, pictureHeight;
  std::uint8_t* view;
  std::uint8_t* previewSource;
  std::uint8_t* previewOutput;
  SceneBuffers aside;
  bool previewInScene;
  bool previewShown;  // an exact frame is due
  PicturePixel light; // in the picture's pixels
  PicturePixel previewLight;  // in the window's pixels, rows from the bottom
} reduction{};

bool comparing = false;  // Space held: the picture without the light

void ShowFrameOrPicture() {
  if (!reduction.active) {
    shownImage = {comparing ? scene.source : scene.output, scene.width, scene.height};
  } else {
    const std::uint8_t* frame = reduction.previewShown ? reduction.previewOutput : reduction.view;
    shownImage = {comparing ? reduction.previewSource : frame, reduction.width, reduction.height};
  }
}

// The backend's own title operation. The title is the last frame's timing
// and settings, the picture and the light in its pixels, whether that frame
// is a preview, then what the saves are doing.
void (*setWindowTitle)(void* window, const char* text) = nullptr;
std::string frameTitle;
bool frameIsPreview = false;

// From the window's opening to the first exact frame.
bool loading = false;

void ShowTitle() {
  if (setWindowTitle == nullptr) return;
  if (loading) {
    setWindowTitle(scene.window, ("Glintor - loading " + shownName + "\xE2\x80\xA6").c_str());
    return;
  }
  std::string text = frameTitle;
  if (frameIsPreview) text += " (preview)";
  const SaveNews news = SaverNews();
  switch (news.state) {
    case SaveNews::State::None: break;
    case SaveNews::State::Saving: text += " - saving " + news.name + "\xE2\x80\xA6"; break;
    case SaveNews::State::Saved: text += " - saved " + news.name; break;
    case SaveNews::State::Failed: text += " - could not save " + news.name + ": " + news.reason; break;
  }
  if (closePutOff) text += " (closing when saved)";
  setWindowTitle(scene.window, text.c_str());
}

void SetTitleOfFrame(void*, const char* text) {
  // A preview's light is the picture pixel under the pointer.
  const PicturePixel light = reduction.active ? reduction.light : PicturePixel{scene.lightColumn, scene.lightRow};
  frameTitle = std::string(text) + " - " + shownName + " at " +
               std::to_string(light.column) + "," + std::to_string(light.row);
  frameIsPreview = reduction.previewInScene;
  ShowTitle();
}

void RequestRepaint() {
  if (windowOperations.requestRepaint != nullptr) windowOperations.requestRepaint(scene.window);
}

void UsePicture(bool preview) {
  if (reduction.previewInScene != preview) SwapSceneBuffers(&reduction.aside);
  reduction.previewInScene = preview;
}

// The exact frame for the light, and on a reduced window its reduction.
void RenderExactFrame() {
  UsePicture(false);
  if (reduction.active) {
    scene.lightColumn = reduction.light.column;
    scene.lightRow = reduction.light.row;
  }
  renderFrame();
  // Its working memory is small; without it the last exact frame stays.
  if (reduction.active) {
    ReducePicture(scene.output, scene.width, scene.height, reduction.view, reduction.width,
                  reduction.height);
  }
  reduction.previewShown = false;
  ShowFrameOrPicture();
}

// The frame of the reduced picture, quick to render; the exact one is due.
bool ShowPreview() {
  UsePicture(true);
  scene.lightColumn = reduction.previewLight.column;
  scene.lightRow = reduction.previewLight.row;
  renderFrame();
  reduction.previewShown = true;
  ShowFrameOrPicture();
  return true;
}

bool PointerMoved(std::int32_t x, std::int32_t y, bool dragged) {
  if (comparing || scene.busy != 0) return reduction.previewShown;
  // Without a button held the pointer is inside, in 16-bit coordinates.
  const auto windowX = static_cast<std::uint16_t>(x), windowY = static_cast<std::uint16_t>(y);
  if (!reduction.active) {
    if (dragged) {
      HandlePointerDrag(x, y, renderFrame);
    } else {
      HandlePointerMove(windowX, windowY, renderFrame);
    }
    return false;
  }
  const std::int32_t width = reduction.width, height = reduction.height;
  if (dragged) {
    reduction.light = MapDraggedWindowPixelToPicture(x, y, reduction.width, reduction.height,
                                                     reduction.pictureWidth, reduction.pictureHeight);
    reduction.previewLight = {std::clamp(x, -width, 2 * width - 1), std::clamp(height - 1 - y, -height, 2 * height - 1)};
    return ShowPreview();
  }
  reduction.light = MapWindowPixelToPicture(windowX, windowY, reduction.width, reduction.height,
                                            reduction.pictureWidth, reduction.pictureHeight);
  // The preview's light: the window pixel under the pointer.
  reduction.previewLight.column = windowX < width ? windowX : 0;
  reduction.previewLight.row = windowY < height ? height - 1 - windowY : 0;
  return ShowPreview();
}

// Each picture casts from its own emission picture: both are remade.
bool MakeEmissions(std::uint8_t threshold, std::uint8_t softness) {
  scene.settings.threshold = threshold;
  scene.settings.softness = softness;
  bool made = UpdateEmission();
  if (reduction.active) {
    SwapSceneBuffers(&reduction.aside);
    made = UpdateEmission() && made;
    SwapSceneBuffers(&reduction.aside);
  }
  return made;
}

// A key changes the settings; the light stays where it is.
bool ShapeLight(LightKey key) {
  if (scene.busy != 0) return reduction.previewShown;
  const LightSettings before = scene.settings;
  scene.settings = WithEmission(before, SettingsAfterKey(before, key, startSettings), MakeEmissions);
  if (scene.settings == before) return reduction.previewShown;
  if (reduction.active) return ShowPreview();
  RenderExactFrame();
  return false;
}

void Rested() {
  if (reduction.previewShown && scene.busy == 0) RenderExactFrame();
}

void SaveFrameOfShownPicture() {
  // Always the exact frame of the picture, never a preview.
  if (reduction.previewShown) RenderExactFrame();
  QueueSave(shownPicture, shownMode, scene.output, scene.width, scene.height, scene.lightColumn, scene.lightRow);
}

bool MayClose() {
  if (!Saving()) return true;
  closePutOff = true;
  ShowTitle();
  return false;
}

// The saves have news: the title tells it, a message box a failure.
bool Woken() {
  ShowTitle();
  const std::string failure = TakeUnshownFailure();
  if (!failure.empty()) shell->showError(failure.c_str());
  return !closePutOff || Saving();
}

void Compare(bool held) {
  if (comparing == held) return;
  comparing = held;
  ShowFrameOrPicture();
  RequestRepaint();
}

// Reduces the picture for a window of width x height: the preview's own
// picture and frame buffers, and the view. False if memory is short.
bool PrepareReduction(std::uint16_t width, std::uint16_t height) {
  const std::size_t bytes = std::size_t{width} * height * 3;
  reduction.active = true;
  reduction.width = width;
  reduction.height = height;
  reduction.pictureWidth = scene.width;
  reduction.pictureHeight = scene.height;
  reduction.previewLight = {static_cast<std::uint16_t>(width >> 1), static_cast<std::uint16_t>(height >> 1)};
  // The preview's buffers as any picture's, and the view.
  if (std::uint64_t{width} * height * (kBytesPerPixelAtRun + 3) > AvailableMemoryBytes()) return false;
  reduction.view = new (std::nothrow) std::uint8_t[bytes]();
  // The preview's picture belongs to its buffers from the start.
  auto* const source = new (std::nothrow) std::uint8_t[bytes];
  if (reduction.view == nullptr || source == nullptr) {
    delete[] source;
    return false;
  }
  reduction.aside = {width, height, source, nullptr, nullptr, nullptr, nullptr, nullptr};
  if (!ReducePicture(scene.source, scene.width, scene.height, source, width, height)) return false;
  UsePicture(true);
  const bool allocated = AllocateFrameBuffers();
  reduction.previewSource = scene.source;
  reduction.previewOutput = scene.output;
  UsePicture(false);
  return allocated;
}

// Everything the viewer allocated, both pictures' buffers included.
void ReleaseEverything() {
  ReleaseBuffers();
  if (reduction.active) {
    SwapSceneBuffers(&reduction.aside);
    ReleaseBuffers();
    SwapSceneBuffers(&reduction.aside);
  }
  delete[] reduction.view;
  reduction = {};
  shownImage = {};
}

// The user may have started us from a terminal, or have no display at all:
// the message also goes to stderr.
int FailStartup(const ShellBackend& backend, const StartupFailure& failure) {
  std::fprintf(stderr, "%s\n", failure.ForTerminal().c_str());
  std::fflush(stderr);
  backend.showError(failure.ForBox().c_str());
  backend.closeMainWindow();
  ReleaseEverything();
  return 1;
}

}  // namespace

int ViewerMain(const ShellBackend& backend, const ViewerProgram& program,
               const std::vector<fs::path>& arguments) {
  ViewerArguments given;
  if (const std::optional<int> exitCode = ReadViewerArguments(program.name, arguments, &given)) return *exitCode;
  const LightSettings settings = given.settings;
  const bool named = given.picture.has_value();
  const fs::path picture = named ? *given.picture : fs::path(kSourceFileName);
  const std::string pictureName = DisplayName(picture);

  scene.busy = 0;
  scene.settings = startSettings = settings;
  LoadResult loaded = backend.loadSourceImage(picture);
  // A source.bmp that is no picture at all is not found, as it always was.
  if (loaded == LoadResult::UnknownFormat && !named) loaded = LoadResult::NotFound;
  if (loaded != LoadResult::Loaded) return FailStartup(backend, StartupMessage(loaded, pictureName));

  shell = &backend;
  shownPicture = picture;
  shownName = DisplayName(picture.filename());
  shownMode = program.modeName;
  closePutOff = false;
  ScreenAreas areas{};
  if (!backend.screenAreas(&areas)) return FailStartup(backend, {kWindowFailedMessage, {}});
  const WindowPlacement placement = PlaceWindow(areas, scene.width, scene.height);
  if (!backend.openMainWindow(placement.client)) return FailStartup(backend, {kWindowFailedMessage, {}});
  if (windowOperations.setTitle != nullptr) {
    setWindowTitle = windowOperations.setTitle;
    windowOperations.setTitle = SetTitleOfFrame;
    loading = true;
    ShowTitle();
  }

  const auto clientWidth = static_cast<std::uint16_t>(placement.client.right - placement.client.left);
  const auto clientHeight = static_cast<std::uint16_t>(placement.client.bottom - placement.client.top);
  if (!AllocateFrameBuffers() || (placement.scaled && !PrepareReduction(clientWidth, clientHeight)) ||
      !MakeEmissions(settings.threshold, settings.softness)) {
    return FailStartup(backend, StartupMessage(LoadResult::OutOfMemory, pictureName));
  }
  renderFrame = program.renderFrame;
  scene.lightColumn = static_cast<std::uint16_t>(scene.width >> 1);
  scene.lightRow = static_cast<std::uint16_t>(scene.height >> 1);
  reduction.light = {scene.lightColumn, scene.lightRow};
  // A large picture's exact frame takes a while: meanwhile the window shows
  // the picture reduced, then the first preview.
  if (reduction.active) {
    shownImage = {reduction.previewSource, reduction.width, reduction.height};
    backend.paintNow();
    ShowPreview();
    backend.paintNow();
  }
  loading = false;
  RenderExactFrame();

  StartSaver(WritePng, backend.wake);
  backend.runMessageLoop({PointerMoved, Rested, SaveFrameOfShownPicture, Compare, ShapeLight, MayClose, Woken});
  // The loop ends with saves still queued only when a signal ends the viewer.
  StopSaver(true);
  backend.closeMainWindow();
  ReleaseEverything();
  return 0;
}
