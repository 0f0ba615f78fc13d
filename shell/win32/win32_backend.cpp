// The viewer on the Win32 API: window class and window, painting, the
// message loop and the error message box.

#include <cstdint>
#include <cstring>
#include <new>
#include <vector>

#include "backend.h"
#include "pointer_light.h"
#include "scene_state.h"
#include "win32_backend.h"
#include "window_link.h"

namespace {

constexpr DWORD kWindowStyle = WS_CAPTION | WS_SYSMENU;
constexpr const char* kClassName = "Glintor";

HINSTANCE programInstance = nullptr;
bool classRegistered = false;
HWND mainWindow = nullptr;
// Set while the message loop runs: a pointer move dispatched by any other
// loop (an error box's) finds no frame buffers to render into.
void (*frameRoutine)() = nullptr;
// `output` in the system's row layout, for widths whose rows need padding:
// the system would otherwise read rows sheared and past the end of `output`.
std::vector<std::uint8_t> paddedOutput;

// Copies all of `output` into the client area, then marks the whole client
// area valid. Before the first frame there is nothing to copy, and the
// class's black background shows.
void Paint(HWND window) {
  if (scene.output != nullptr) {
    const std::uint8_t* rows = scene.output;
    if (!paddedOutput.empty()) {
      PadRows(scene.output, scene.width, scene.height, paddedOutput.data());
      rows = paddedOutput.data();
    }
    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = scene.width;
    header.bmiHeader.biHeight = scene.height;  // positive: bottom row first
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 24;
    header.bmiHeader.biCompression = BI_RGB;
    HDC context = GetDC(window);
    SetDIBitsToDevice(context, 0, 0, scene.width, scene.height, 0, 0, 0, scene.height, rows,
                      &header, DIB_RGB_COLORS);
    ReleaseDC(window, context);
  }
  ValidateRect(window, nullptr);
}

void SetTitle(void* window, const char* text) { SetWindowTextA(static_cast<HWND>(window), text); }

void RequestRepaint(void* window) { InvalidateRect(static_cast<HWND>(window), nullptr, FALSE); }

LoadResult LoadPicture(const char* fileName) { return LoadSourceImage(programInstance, fileName); }

void ShowError(const char* text) { MessageBoxA(nullptr, text, "Error", MB_OK | MB_ICONERROR); }

bool PrimaryScreenSize(std::int32_t* width, std::int32_t* height) {
  *width = GetSystemMetrics(SM_CXSCREEN);
  *height = GetSystemMetrics(SM_CYSCREEN);
  return *width > 0 && *height > 0;
}

bool OpenMainWindow(const ClientRectangle& client) {
  if (DibRowBytes(scene.width) != std::size_t{scene.width} * 3) {
    try {
      paddedOutput.assign(DibRowBytes(scene.width) * scene.height, 0);
    } catch (const std::bad_alloc&) {
      return false;
    }
  }

  WNDCLASSA windowClass{};
  windowClass.style = CS_DBLCLKS;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = programInstance;
  windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
  windowClass.lpszClassName = kClassName;
  if (RegisterClassA(&windowClass) == 0) return false;
  classRegistered = true;

  RECT frame{client.left, client.top, client.right, client.bottom};
  AdjustWindowRect(&frame, kWindowStyle, FALSE);
  mainWindow = CreateWindowExA(0, kClassName, "Glintor", kWindowStyle, frame.left, frame.top,
                               frame.right - frame.left, frame.bottom - frame.top, nullptr,
                               nullptr, programInstance, nullptr);
  if (mainWindow == nullptr) return false;
  scene.window = mainWindow;
  windowOperations = {SetTitle, RequestRepaint};
  ShowWindow(mainWindow, SW_SHOW);
  UpdateWindow(mainWindow);
  return true;
}

void RunMessageLoop(void (*renderFrame)()) {
  frameRoutine = renderFrame;
  MSG message{};
  // -1 is a failed fetch, which would fail again for ever.
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  frameRoutine = nullptr;
}

void CloseMainWindow() {
  windowOperations = {};
  scene.window = nullptr;
  if (mainWindow != nullptr) DestroyWindow(mainWindow);
  mainWindow = nullptr;
  if (classRegistered) UnregisterClassA(kClassName, programInstance);
  classRegistered = false;
  paddedOutput = {};
}

const ShellBackend win32Backend{LoadPicture,    ShowError,      PrimaryScreenSize,
                                OpenMainWindow, RunMessageLoop, CloseMainWindow};

}  // namespace

void UseProgramInstance(HINSTANCE instance) { programInstance = instance; }

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
    case WM_PAINT:
      Paint(window);
      return 1;
    case WM_MOUSEMOVE: {
      // Client coordinates, x in the low 16 bits and y in the high 16 bits.
      const auto bits = static_cast<std::uint32_t>(lParam);
      if (frameRoutine != nullptr) {
        HandlePointerMove(static_cast<std::uint16_t>(bits), static_cast<std::uint16_t>(bits >> 16),
                          frameRoutine);
      }
      return 1;
    }
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

const ShellBackend& PlatformBackend() { return win32Backend; }
