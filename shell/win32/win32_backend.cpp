// The viewer on the Win32 API: window class and window, painting, the
// message loop and the error message box.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>

#include "backend.h"
#include "scene_state.h"
#include "win32_backend.h"
#include "win32_imaging.h"
#include "window_link.h"

namespace {

constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;
constexpr const wchar_t* kClassName = L"Glintor";
constexpr UINT_PTR kRestTimer = 1;
// Posted by the saves' worker.
constexpr UINT kWakeMessage = WM_APP;
constexpr WPARAM kButtons = MK_LBUTTON | MK_RBUTTON | MK_MBUTTON | MK_XBUTTON1 | MK_XBUTTON2;

HINSTANCE programInstance = nullptr;
bool classRegistered = false;
HWND mainWindow = nullptr;
// The window the worker's wake-ups go to, for as long as it exists.
std::atomic<HWND> wakeWindow{nullptr};
// Set while the message loop runs: a pointer move or key dispatched by any
// other loop (an error box's) finds no frame buffers to use.
ViewerInput running{};

// Rows of `output` padded as the system reads them, a band at a time, for
// widths whose rows need padding: the system would otherwise read rows
// sheared and past the end of `output`. Fixed, so that painting never
// allocates; it holds at least one row of the widest picture.
constexpr std::size_t kBandBytes = std::size_t{1} << 18;
static_assert(kBandBytes >= DibRowBytes(static_cast<std::uint16_t>(kMaxPictureSide)));
std::uint8_t paddedBand[kBandBytes];

// Copies rows [bottom, bottom + count) of the bottom-up `rows` into the
// client area.
void PaintRows(HDC context, const std::uint8_t* rows, std::uint32_t bottom, std::uint32_t count) {
  BITMAPINFO header{};
  header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  header.bmiHeader.biWidth = shownImage.width;
  header.bmiHeader.biHeight = static_cast<LONG>(count);  // positive: bottom row first
  header.bmiHeader.biPlanes = 1;
  header.bmiHeader.biBitCount = 24;
  header.bmiHeader.biCompression = BI_RGB;
  SetDIBitsToDevice(context, 0, static_cast<int>(shownImage.height - bottom - count), shownImage.width, count,
                    0, 0, 0, count, rows, &header, DIB_RGB_COLORS);
}

// Copies the image shown into the client area, then marks the whole client
// area valid. Before the first frame there is nothing to copy, and the
// class's black background shows.
void Paint(HWND window) {
  const ShownImage shown = shownImage;
  if (shown.pixels != nullptr) {
    HDC context = GetDC(window);
    const std::size_t packedRow = std::size_t{shown.width} * 3;
    if (DibRowBytes(shown.width) == packedRow) {
      PaintRows(context, shown.pixels, 0, shown.height);
    } else {
      const auto bandRows = static_cast<std::uint32_t>(kBandBytes / DibRowBytes(shown.width));
      for (std::uint32_t bottom = 0; bottom < shown.height; bottom += bandRows) {
        const std::uint32_t count = std::min<std::uint32_t>(bandRows, shown.height - bottom);
        PadRows(shown.pixels + packedRow * bottom, shown.width, static_cast<std::uint16_t>(count),
                paddedBand);
        PaintRows(context, paddedBand, bottom, count);
      }
    }
    ReleaseDC(window, context);
  }
  ValidateRect(window, nullptr);
}

// The window is a Unicode one: titles hold names and signs beyond ASCII.
void SetTitle(void* window, const char* text) {
  SetWindowTextW(static_cast<HWND>(window), WideText(text).c_str());
}

void PaintNow() {
  if (mainWindow != nullptr) RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
}

void Wake() {
  if (HWND window = wakeWindow.load(); window != nullptr) PostMessageW(window, kWakeMessage, 0, 0);
}

void RequestRepaint(void* window) { InvalidateRect(static_cast<HWND>(window), nullptr, FALSE); }

void ShowError(const char* text) {
  MessageBoxW(nullptr, WideText(text).c_str(), L"Error", MB_OK | MB_ICONERROR);
}

// The primary screen, its work area (without the task bar), and the frame
// the window's style adds around the client area.
bool PrimaryScreenAreas(ScreenAreas* areas) {
  *areas = {};
  areas->screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT work{};
  if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0)) {
    areas->usable = {work.left, work.top, work.right, work.bottom};
  } else {
    areas->usable = areas->screen;
  }
  RECT frame{0, 0, 0, 0};
  AdjustWindowRect(&frame, kWindowStyle, FALSE);
  areas->frameLeft = -frame.left;
  areas->frameTop = -frame.top;
  areas->frameWidth = frame.right - frame.left;
  areas->frameHeight = frame.bottom - frame.top;
  return areas->screen.right > 0 && areas->screen.bottom > 0;
}

bool OpenMainWindow(const ClientRectangle& client) {
  WNDCLASSW windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = programInstance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kClassName;
  if (RegisterClassW(&windowClass) == 0) return false;
  classRegistered = true;

  RECT frame{client.left, client.top, client.right, client.bottom};
  AdjustWindowRect(&frame, kWindowStyle, FALSE);
  mainWindow = CreateWindowExW(0, kClassName, L"Glintor", kWindowStyle, frame.left, frame.top,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr,
                               nullptr, programInstance, nullptr);
  if (mainWindow == nullptr) return false;
  scene.window = mainWindow;
  wakeWindow = mainWindow;
  windowOperations = {SetTitle, RequestRepaint};
  ShowWindow(mainWindow, SW_SHOW);
  UpdateWindow(mainWindow);
  return true;
}

void RunMessageLoop(const ViewerInput& input) {
  running = input;
  MSG message{};
  // -1 is a failed fetch, which would fail again for ever.
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  running = {};
}

void CloseMainWindow() {
  wakeWindow = nullptr;
  windowOperations = {};
  scene.window = nullptr;
  if (mainWindow != nullptr) DestroyWindow(mainWindow);
  mainWindow = nullptr;
  if (classRegistered) UnregisterClassW(kClassName, programInstance);
  classRegistered = false;
  StopImaging();
}

bool IsHeld(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// S alone or with Ctrl, as first pressed: a held key repeats, and each
// repeat would save another file.
bool IsSaveKey(WPARAM key, LPARAM flags) {
  const bool repeated = (flags & (LPARAM{1} << 30)) != 0;
  return key == 'S' && !repeated && !IsHeld(VK_SHIFT) && !IsHeld(VK_LWIN) && !IsHeld(VK_RWIN);
}

// The key that shapes the light, if this is one: held with Ctrl, Alt or the
// system key it is meant for something else. Held down, V would flicker
// through the views: only its first press counts, and B's and R's.
bool ToLightKey(WPARAM key, LPARAM flags, LightKey* light) {
  const bool repeated = (flags & (LPARAM{1} << 30)) != 0;
  if (IsHeld(VK_CONTROL) || IsHeld(VK_MENU) || IsHeld(VK_LWIN) || IsHeld(VK_RWIN)) return false;
  if (repeated && (key == 'V' || key == 'B' || key == 'R')) return false;
  switch (key) {
    case 'T': *light = IsHeld(VK_SHIFT) ? LightKey::ThresholdDown : LightKey::ThresholdUp; return true;
    case 'K': *light = IsHeld(VK_SHIFT) ? LightKey::SoftnessDown : LightKey::SoftnessUp; return true;
    case 'V': *light = LightKey::NextView; return true;
    case 'B': *light = LightKey::NextBlend; return true;
    case 'R': *light = LightKey::Restore; return true;
    default: return false;
  }
}

// A strength key, as the character typed: layouts put +, -, [ and ] on
// different keys, some behind Shift or AltGr. AltGr comes as Ctrl and Alt
// held together; Ctrl alone, or the system key, means something else, and
// Alt alone types no such character (its keys come as system keys).
bool ToStrengthKey(WPARAM character, LightKey* light) {
  if ((IsHeld(VK_CONTROL) && !IsHeld(VK_MENU)) || IsHeld(VK_LWIN) || IsHeld(VK_RWIN)) return false;
  return StrengthKeyOfCharacter(static_cast<std::uint32_t>(character), light);
}

const ShellBackend win32Backend{LoadSourceImage, ShowError,      PrimaryScreenAreas,
                                OpenMainWindow,  RunMessageLoop, CloseMainWindow,
                                Wake,            PaintNow};

}  // namespace

void UseProgramInstance(HINSTANCE instance) { programInstance = instance; }

std::wstring WideText(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > 0x7FFFFFFF) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), length);
  return wide;
}

void PadRows(const std::uint8_t* packed, std::uint16_t width, std::uint16_t height,
             std::uint8_t* padded) {
  const std::size_t packedRow = std::size_t{width} * 3;
  const std::size_t paddedRow = DibRowBytes(width);
  for (std::size_t row = 0; row < height; ++row) {
    std::memcpy(padded + row * paddedRow, packed + row * packedRow, packedRow);
    std::memset(padded + row * paddedRow + packedRow, 0, paddedRow - packedRow);
  }
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      if (window == mainWindow) mainWindow = nullptr;
      PostQuitMessage(0);
      return 0;
    // Escape and the close button, as the viewer allows: it may put the
    // close off until its saves are written, then wake us to close.
    case WM_CLOSE:
      if (running.mayClose == nullptr || running.mayClose()) DestroyWindow(window);
      return 0;
    case kWakeMessage:
      if (running.woken != nullptr && !running.woken()) DestroyWindow(window);
      return 0;
    case WM_PAINT:
      Paint(window);
      return 1;
    case WM_MOUSEMOVE: {
      // Client coordinates, x in the low 16 bits and y in the high 16 bits;
      // signed while the window keeps the pointer, which may be outside.
      const auto bits = static_cast<std::uint32_t>(lParam);
      const bool dragged = (wParam & kButtons) != 0 && GetCapture() == window;
      const std::int32_t x = dragged ? static_cast<std::int16_t>(bits) : static_cast<std::uint16_t>(bits);
      const std::int32_t y = dragged ? static_cast<std::int16_t>(bits >> 16) : static_cast<std::uint16_t>(bits >> 16);
      // A preview was shown: the exact frame once the pointer rests. Each
      // move starts the timer anew.
      if (running.pointerMoved != nullptr && running.pointerMoved(x, y, dragged)) {
        SetTimer(window, kRestTimer, kRestMilliseconds, nullptr);
      }
      return 1;
    }
    // While a button is held the window keeps the pointer, and the light
    // follows it past the window's edges.
    // A double click's second press comes as a double-click message.
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_XBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDBLCLK:
    case WM_XBUTTONDBLCLK:
      SetCapture(window);
      return message == WM_XBUTTONDOWN || message == WM_XBUTTONDBLCLK ? TRUE : 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
    case WM_XBUTTONUP:
      if ((GET_KEYSTATE_WPARAM(wParam) & kButtons) == 0) ReleaseCapture();
      return message == WM_XBUTTONUP ? TRUE : 0;
    case WM_TIMER:
      if (wParam != kRestTimer) return DefWindowProcW(window, message, wParam, lParam);
      KillTimer(window, kRestTimer);
      if (running.rested != nullptr) running.rested();
      return 0;
    case WM_KEYUP:
    case WM_SYSKEYUP:  // let go while Alt is held
      if (wParam == VK_SPACE && running.compare != nullptr) running.compare(false);
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_KILLFOCUS:
      // Space let go elsewhere never reaches us.
      if (running.compare != nullptr) running.compare(false);
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_KEYDOWN:
      // As the close button does: the window goes, and with it the loop.
      if (wParam == VK_ESCAPE) return SendMessageW(window, WM_CLOSE, 0, 0);
      if (IsSaveKey(wParam, lParam) && running.saveFrame != nullptr) {
        running.saveFrame();
        return 0;
      }
      if (wParam == VK_SPACE && (lParam & (LPARAM{1} << 30)) == 0 && running.compare != nullptr) {
        running.compare(true);
        return 0;
      }
      if (LightKey light{}; running.shapeLight != nullptr && ToLightKey(wParam, lParam, &light)) {
        // As after a pointer move: the exact frame once the keys rest.
        if (running.shapeLight(light)) SetTimer(window, kRestTimer, kRestMilliseconds, nullptr);
        return 0;
      }
      return DefWindowProcW(window, message, wParam, lParam);
    case WM_CHAR:
      if (LightKey light{}; running.shapeLight != nullptr && ToStrengthKey(wParam, &light)) {
        if (running.shapeLight(light)) SetTimer(window, kRestTimer, kRestMilliseconds, nullptr);
        return 0;
      }
      return DefWindowProcW(window, message, wParam, lParam);
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

const ShellBackend& PlatformBackend() { return win32Backend; }
