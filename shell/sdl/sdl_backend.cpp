// The viewer on SDL2: window, painting, events and the error message box.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "backend.h"
#include "scene_state.h"
#include "sdl_backend.h"
#include "window_link.h"

#if defined(GLINTOR_HAVE_X11)
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>
#endif

namespace {

SDL_Window* mainWindow = nullptr;
bool videoStarted = false;
Uint32 repaintEvent = 0;  // and the next one, the saves' wake-up
bool repaintQueued = false;
// When the pointer will have rested after a preview; 0 when none is shown.
Uint64 restDue = 0;

// With no display SDL falls back to drawing into memory, where a window
// would run unseen and never be closed; only a user who names such a driver
// gets it.
bool IsOnScreen(const char* driver) {
  if (driver == nullptr) return false;
  const std::string_view name = driver;
  if (name != "offscreen" && name != "dummy") return true;
  const char* asked = SDL_getenv("SDL_VIDEODRIVER");
  return asked != nullptr && name == asked;
}

#if defined(GLINTOR_HAVE_X11)
int (*defaultXErrorHandler)(Display*, XErrorEvent*) = nullptr;

// The X library ends the program on any protocol error. A request on a
// window that no longer exists (as when our window goes while SDL still
// refers to it) is harmless; every other error keeps the default handling.
int HandleXError(Display* display, XErrorEvent* error) {
  if (error->error_code == BadWindow) return 0;
  return defaultXErrorHandler != nullptr ? defaultXErrorHandler(display, error) : 0;
}
#endif

bool StartVideo() {
  if (videoStarted) return true;
#if defined(GLINTOR_HAVE_X11)
  // Installed before SDL starts, so that SDL's own handler passes errors on
  // to it and restores it when it stops.
  if (defaultXErrorHandler == nullptr) defaultXErrorHandler = XSetErrorHandler(HandleXError);
#endif
  SDL_SetMainReady();
  // While a button is held the window keeps the pointer, and the light
  // follows it past the window's edges.
  SDL_SetHint(SDL_HINT_MOUSE_AUTO_CAPTURE, "1");
  // The window surface is the platform's own framebuffer, not a texture of a
  // 3D renderer: pixels reach the screen exactly as painted.
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  // Closing the window may wait for a save; only a signal quits at once.
  SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return false;
  videoStarted = true;
  if (!IsOnScreen(SDL_GetCurrentVideoDriver())) return false;
  repaintEvent = SDL_RegisterEvents(2);
  return repaintEvent != static_cast<Uint32>(-1);
}

// Copies the image shown into the client area. Its rows are packed and
// bottom row first; the window's are top row first, so each row is
// converted on its own.
void Paint() {
  SDL_Surface* surface = SDL_GetWindowSurface(mainWindow);
  if (surface == nullptr) return;
  if (shownImage.pixels == nullptr) {
    // Shown before the first frame exists.
    SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
  } else {
    const int width = std::min<int>(surface->w, shownImage.width);
    const int height = std::min<int>(surface->h, shownImage.height);
    const std::size_t stride = std::size_t{shownImage.width} * 3;
    auto* target = static_cast<std::uint8_t*>(surface->pixels);
    for (int y = 0; y < height; ++y) {
      const std::uint8_t* row =
          shownImage.pixels + (std::size_t{shownImage.height} - 1 - static_cast<std::size_t>(y)) * stride;
      SDL_ConvertPixels(width, 1, SDL_PIXELFORMAT_BGR24, row, static_cast<int>(stride),
                        surface->format->format, target + std::ptrdiff_t{y} * surface->pitch,
                        surface->pitch);
    }
  }
  SDL_UpdateWindowSurface(mainWindow);
}

void SetTitle(void* window, const char* text) {
  SDL_SetWindowTitle(static_cast<SDL_Window*>(window), text);
}

// One queued repaint serves any number of requests.
void RequestRepaint(void*) {
  if (repaintQueued) return;
  SDL_Event event{};
  event.type = repaintEvent;
  repaintQueued = SDL_PushEvent(&event) == 1;
}

// SDL's event queue takes events from any thread.
void Wake() {
  SDL_Event event{};
  event.type = repaintEvent + 1;
  SDL_PushEvent(&event);
}

void ShowError(const char* text) {
  SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "Error", text, nullptr);
}

#if defined(GLINTOR_HAVE_X11)
// A property of 32-bit items of the given type; empty if there is none.
std::vector<long> WindowProperty(Display* display, Window window, const char* name, Atom type) {
  Atom actualType = None;
  int format = 0;
  unsigned long count = 0, left = 0;
  unsigned char* data = nullptr;
  std::vector<long> items;
  if (XGetWindowProperty(display, window, XInternAtom(display, name, False), 0, 1024, False, type, &actualType,
                         &format, &count, &left, &data) == Success &&
      actualType == type && format == 32 && data != nullptr) {
    const auto* values = reinterpret_cast<const long*>(data);
    items.assign(values, values + count);
  }
  if (data != nullptr) XFree(data);
  return items;
}

// Whether a window manager runs (its check window names itself: one that
// has gone leaves a stale name on the root) that tells a window's frame
// before the window is shown.
bool ManagerTellsFrames(Display* display) {
  const Window root = DefaultRootWindow(display);
  const std::vector<long> manager = WindowProperty(display, root, "_NET_SUPPORTING_WM_CHECK", XA_WINDOW);
  if (manager.size() != 1 ||
      WindowProperty(display, static_cast<Window>(manager[0]), "_NET_SUPPORTING_WM_CHECK", XA_WINDOW) != manager) {
    return false;
  }
  const std::vector<long> supported = WindowProperty(display, root, "_NET_SUPPORTED", XA_ATOM);
  const auto asked = static_cast<long>(XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False));
  return std::find(supported.begin(), supported.end(), asked) != supported.end();
}

// The frame (title bar and borders) the window manager will put around a
// window like ours, asked for with a hidden window of the same kind:
// left, right, top and bottom. False where none is told.
bool FrameOfWindows(std::int32_t frame[4]) {
  SDL_Window* probe = SDL_CreateWindow("", 0, 0, 100, 100, SDL_WINDOW_HIDDEN);
  if (probe == nullptr) return false;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  bool told = false;
  if (SDL_GetWindowWMInfo(probe, &info) == SDL_TRUE && info.subsystem == SDL_SYSWM_X11 &&
      ManagerTellsFrames(info.info.x11.display)) {
    Display* display = info.info.x11.display;
    const Window window = info.info.x11.window;
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = window;
    request.xclient.message_type = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    request.xclient.format = 32;
    XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
               &request);
    // The manager sets the property at once; the deadline is for one that
    // never does, which leaves the window unframed as without a manager.
    for (const Uint64 deadline = SDL_GetTicks64() + 2000; !told && SDL_GetTicks64() < deadline; SDL_Delay(5)) {
      const std::vector<long> sides = WindowProperty(display, window, "_NET_FRAME_EXTENTS", XA_CARDINAL);
      told = sides.size() == 4;
      for (std::size_t side = 0; told && side < 4; ++side) {
        frame[side] = static_cast<std::int32_t>(std::clamp<long>(sides[side], 0, 4096));
      }
    }
  }
  SDL_DestroyWindow(probe);
  return told;
}
#endif

// Where the window manager puts the window's frame: its top-left corner at
// the position asked for, the client area inside it.
std::int32_t frameLeft = 0, frameTop = 0;

bool ScreenAreasOfDisplay(ScreenAreas* areas) {
  SDL_Rect bounds{}, usable{};
  if (!StartVideo() || SDL_GetDisplayBounds(0, &bounds) != 0) return false;
  if (SDL_GetDisplayUsableBounds(0, &usable) != 0) usable = bounds;
  *areas = {};
  areas->screen = {bounds.x, bounds.y, bounds.x + bounds.w, bounds.y + bounds.h};
  areas->usable = {usable.x, usable.y, usable.x + usable.w, usable.y + usable.h};
#if defined(GLINTOR_HAVE_X11)
  if (std::int32_t frame[4]{}; FrameOfWindows(frame)) {
    areas->frameLeft = frame[0];
    areas->frameTop = frame[2];
    areas->frameWidth = frame[0] + frame[1];
    areas->frameHeight = frame[2] + frame[3];
  }
#endif
  frameLeft = areas->frameLeft;
  frameTop = areas->frameTop;
  return true;
}

bool OpenMainWindow(const ClientRectangle& client) {
  if (!StartVideo()) return false;
  mainWindow = SDL_CreateWindow("Glintor", client.left - frameLeft, client.top - frameTop,
                                client.right - client.left, client.bottom - client.top, SDL_WINDOW_HIDDEN);
  if (mainWindow == nullptr) return false;
  scene.window = mainWindow;
  windowOperations = {SetTitle, RequestRepaint};
  // The strength keys come as the characters typed.
  SDL_StartTextInput();
  SDL_ShowWindow(mainWindow);
  Paint();
  return true;
}

// The newest position of the motion that queued up while the last frame was
// rendered; older positions would only make the light lag behind. When the
// pointer leaves the window, SDL reports one last motion at the edge it
// crossed, then takes the pointer's focus from the window: that motion is
// not a place the pointer was at inside, and the one before it, if queued,
// is the newest position. A motion with a button held is the window's
// wherever it is. False if there is none.
bool NewestMotion(SDL_MouseMotionEvent* motion) {
  SDL_PumpEvents();
  SDL_MouseMotionEvent previous{};
  bool hasPrevious = false;
  SDL_Event queued;
  while (SDL_PeepEvents(&queued, 1, SDL_GETEVENT, SDL_MOUSEMOTION, SDL_MOUSEMOTION) == 1) {
    previous = *motion;
    hasPrevious = true;
    *motion = queued.motion;
  }
  if (SDL_GetMouseFocus() == mainWindow || motion->state != 0) return true;
  *motion = previous;
  return hasPrevious;
}

bool IsSaveKey(const SDL_Keysym& key) {
  return key.sym == SDLK_s && (key.mod & (KMOD_ALT | KMOD_GUI | KMOD_SHIFT)) == 0;
}

// The key that shapes the light, if this is one: held with Ctrl, Alt or the
// system key it is meant for something else. Held down, V would flicker
// through the views: only its first press counts, and B's and R's.
bool ToLightKey(const SDL_KeyboardEvent& event, LightKey* light) {
  const SDL_Keysym& key = event.keysym;
  if ((key.mod & (KMOD_CTRL | KMOD_ALT | KMOD_GUI)) != 0) return false;
  if (event.repeat != 0 && (key.sym == SDLK_v || key.sym == SDLK_b || key.sym == SDLK_r)) return false;
  switch (key.sym) {
    case SDLK_t: *light = (key.mod & KMOD_SHIFT) != 0 ? LightKey::ThresholdDown : LightKey::ThresholdUp; return true;
    case SDLK_k: *light = (key.mod & KMOD_SHIFT) != 0 ? LightKey::SoftnessDown : LightKey::SoftnessUp; return true;
    case SDLK_v: *light = LightKey::NextView; return true;
    case SDLK_b: *light = LightKey::NextBlend; return true;
    case SDLK_r: *light = LightKey::Restore; return true;
    default: return false;
  }
}

// The key pressed for the text that follows.
SDL_Keysym typedWith{};

// A strength key, as the character typed: layouts put +, -, [ and ] on
// different keys, some behind Shift or AltGr (which SDL reports as right
// Alt). Held with Ctrl, the left Alt or the system key it is meant for
// something else, and so with right Alt where the key types the character
// by itself: there right Alt is a plain Alt.
bool ToStrengthKey(const char* text, LightKey* light) {
  if (text[0] == '\0' || text[1] != '\0' || !StrengthKeyOfCharacter(static_cast<unsigned char>(text[0]), light)) {
    return false;
  }
  if ((typedWith.mod & (KMOD_CTRL | KMOD_LALT | KMOD_GUI)) != 0) return false;
  return (typedWith.mod & KMOD_RALT) == 0 || typedWith.sym != static_cast<SDL_Keycode>(text[0]);
}

// Handles one event of the main window; false once the window is closed,
// Escape is pressed (and the viewer lets it close) or the program is asked
// to quit (SDL turns SIGTERM and SIGINT into that).
bool MainWindowProc(const SDL_Event& event, const ViewerInput& input) {
  switch (event.type) {
    case SDL_QUIT:
      return false;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) return !input.mayClose();
      if (event.window.event == SDL_WINDOWEVENT_EXPOSED) Paint();
      // Space let go elsewhere never reaches us.
      if (event.window.event == SDL_WINDOWEVENT_FOCUS_LOST) input.compare(false);
      return true;
    case SDL_KEYDOWN:
      typedWith = event.key.keysym;
      if (event.key.keysym.sym == SDLK_ESCAPE) return event.key.repeat != 0 || !input.mayClose();
      if (IsSaveKey(event.key.keysym) && event.key.repeat == 0) input.saveFrame();
      if (event.key.keysym.sym == SDLK_SPACE && event.key.repeat == 0) input.compare(true);
      if (LightKey light{}; ToLightKey(event.key, &light) && input.shapeLight(light)) {
        restDue = SDL_GetTicks64() + kRestMilliseconds;
      }
      return true;
    case SDL_TEXTINPUT:
      if (LightKey light{}; ToStrengthKey(event.text.text, &light) && input.shapeLight(light)) {
        restDue = SDL_GetTicks64() + kRestMilliseconds;
      }
      return true;
    case SDL_KEYUP:
      if (event.key.keysym.sym == SDLK_SPACE) input.compare(false);
      return true;
    case SDL_MOUSEMOTION: {
      SDL_MouseMotionEvent motion = event.motion;
      if (NewestMotion(&motion) && input.pointerMoved(motion.x, motion.y, motion.state != 0)) {
        restDue = SDL_GetTicks64() + kRestMilliseconds;
      }
      return true;
    }
    default:
      if (event.type == repaintEvent) {
        repaintQueued = false;
        Paint();
      }
      return event.type != repaintEvent + 1 || input.woken();
  }
}

void RunMessageLoop(const ViewerInput& input) {
  restDue = 0;
  for (SDL_Event event;;) {
    if (restDue == 0) {
      if (SDL_WaitEvent(&event) != 1) return;
    } else {
      const Uint64 now = SDL_GetTicks64();
      const bool waited = now < restDue && SDL_WaitEventTimeout(&event, static_cast<int>(restDue - now)) == 1;
      if (!waited) {
        // The pointer has rested, unless the time left was cut short.
        if (SDL_GetTicks64() >= restDue) {
          restDue = 0;
          input.rested();
        }
        continue;
      }
    }
    if (!MainWindowProc(event, input)) return;
  }
}

void CloseMainWindow() {
  windowOperations = {};
  scene.window = nullptr;
  if (mainWindow != nullptr) SDL_DestroyWindow(mainWindow);
  mainWindow = nullptr;
  if (videoStarted) SDL_QuitSubSystem(SDL_INIT_VIDEO);
  videoStarted = false;
  SDL_Quit();
}

const ShellBackend sdlBackend{LoadSourceImage, ShowError,      ScreenAreasOfDisplay,
                              OpenMainWindow,     RunMessageLoop, CloseMainWindow,
                              Wake,               Paint};

}  // namespace

const ShellBackend& PlatformBackend() { return sdlBackend; }
