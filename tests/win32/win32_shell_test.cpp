// The Win32 backend under Wine: reading pictures with the system's bitmap
// loader, the main window's class, placement and procedure, and painting.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "available_memory.h"
#include "backend.h"
#include "frame_file.h"
#include "renderer.h"
#include "scene_state.h"
#include "win32_backend.h"
#include "window_geometry.h"
#include "window_link.h"

namespace {

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

// How many more graphics objects the process can make: the system has no
// count of them to ask for, but a fixed number of handles.
std::ptrdiff_t FreeGraphicsHandles() {
  std::vector<HDC> taken;
  while (taken.size() < 200000) {
    HDC context = CreateCompatibleDC(nullptr);
    if (context == nullptr) break;
    taken.push_back(context);
  }
  for (HDC context : taken) DeleteDC(context);
  return static_cast<std::ptrdiff_t>(taken.size());
}

// Runs `work` (after one warm-up run) and checks that it keeps no more than
// a few graphics objects.
template <typename Work>
void ExpectGraphicsObjectsGivenBack(Work work) {
  work();
  const std::ptrdiff_t before = FreeGraphicsHandles();
  for (int i = 0; i < 100; ++i) work();
  EXPECT_GT(before, 1000);
  EXPECT_LE(before - FreeGraphicsHandles(), 5);
}

// The reader's tests shared with the SDL build are in loader_files_test.cpp.
const std::filesystem::path kPicture =
    std::filesystem::path(GLINTOR_TEST_DATA) / "pictures/bmp/rgb24-w103.bmp";

// Every load gives back its bitmap and its memory context.
TEST(Win32SourceImageTest, LoadsReleaseTheirGraphicsObjects) {
  ExpectGraphicsObjectsGivenBack([] {
    ReleaseBuffers();
    ASSERT_EQ(LoadSourceImage(kPicture), LoadResult::Loaded);
  });
  ReleaseBuffers();
}

// The encoder's file reads back as written, and neither it nor the decoder
// keeps the file open: a leaked COM object would hold a handle of it.
TEST(Win32SourceImageTest, WrittenPngReadsBackAndNothingKeepsItOpen) {
  ASSERT_EQ(LoadSourceImage(kPicture), LoadResult::Loaded);
  const std::vector<std::uint8_t> written(scene.source, scene.source + PixelCount() * 3);
  const auto png = std::filesystem::temp_directory_path() / "glintor-written.png";
  ASSERT_TRUE(WritePng(png, scene.width, scene.height, written.data()));
  DWORD handlesBefore = 0, handlesAfter = 0;
  for (int i = 0; i < 21; ++i) {
    if (i == 1) GetProcessHandleCount(GetCurrentProcess(), &handlesBefore);
    ReleaseBuffers();
    ASSERT_EQ(LoadSourceImage(png), LoadResult::Loaded);
  }
  GetProcessHandleCount(GetCurrentProcess(), &handlesAfter);
  EXPECT_EQ(std::vector<std::uint8_t>(scene.source, scene.source + written.size()), written);
  EXPECT_LE(handlesAfter, handlesBefore + 2);
  ReleaseBuffers();
  EXPECT_TRUE(DeleteFileW(png.c_str()));
}

// A file name may hold UTF-16 that is no text; its message must still come.
TEST(DisplayNameTest, NamesThatAreNoUnicodeStillShow) {
  EXPECT_EQ(DisplayName(std::filesystem::path(L"bild-\u00fc.png")), "bild-\xc3\xbc.png");
  EXPECT_EQ(DisplayName(std::filesystem::path(std::wstring{L'a', wchar_t(0xD800), L'.', L'p'})), "a?.p");
}

// The C runtime's printf would print infinity as "1.#INF"; the title must
// read as on Linux, where "%5.3f" pads it to "  inf".
TEST(TitleTest, FormatsAsOnLinuxInfinityIncluded) {
  char title[128] = {};
  FormatTitle(title, sizeof title, 10000000, 0, 80000, 100000);
  EXPECT_STREQ(title, "Glintor - 10.000 msec (8.000+2.000) - 100.000 fps");
  FormatTitle(title, sizeof title, 10000000, 5, 5, 5);
  EXPECT_STREQ(title, "Glintor - 0.000 msec (0.000+0.000) -   inf fps");
}

TEST(PadRowsTest, RowsArePaddedToFourBytesWithZeros) {
  EXPECT_EQ(DibRowBytes(100), 300u);
  EXPECT_EQ(DibRowBytes(101), 304u);
  EXPECT_EQ(DibRowBytes(102), 308u);
  EXPECT_EQ(DibRowBytes(103), 312u);
  const std::uint16_t width = 101, height = 3;
  std::vector<std::uint8_t> packed(std::size_t{width} * height * 3);
  for (std::size_t i = 0; i < packed.size(); ++i) packed[i] = static_cast<std::uint8_t>(i * 7 + 1);
  std::vector<std::uint8_t> padded(DibRowBytes(width) * height, 0xEE);
  PadRows(packed.data(), width, height, padded.data());
  for (std::size_t row = 0; row < height; ++row) {
    for (std::size_t byte = 0; byte < DibRowBytes(width); ++byte) {
      const std::uint8_t expected = byte < 303 ? packed[row * 303 + byte] : 0;
      ASSERT_EQ(padded[row * DibRowBytes(width) + byte], expected) << row << "," << byte;
    }
  }
}

// A picture in the scene, the main window opened by the backend for it.
class Win32WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene = SceneState{};
    UseProgramInstance(Instance());
    frames.clear();
    saves = 0;
    // Whatever an earlier test left, the quit message of a destroyed window
    // among it, would end this test's message loop at once.
    MSG message{};
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    }
  }
  void TearDown() override {
    PlatformBackend().closeMainWindow();
    ReleaseBuffers();
    scene = SceneState{};
  }
  void OpenWindow(std::uint16_t width, std::uint16_t height) {
    scene.width = width;
    scene.height = height;
    scene.source = new std::uint8_t[PixelCount() * 3]();
    ClientRectangle screen{};
    ASSERT_TRUE(PlatformBackend().primaryScreenBounds(&screen));
    client = CentreClientRectangle(screen, width, height);
    ASSERT_TRUE(PlatformBackend().openMainWindow(client));
    ASSERT_NE(scene.window, nullptr);
    ASSERT_TRUE(AllocateFrameBuffers());
  }
  HWND Window() const { return static_cast<HWND>(scene.window); }

  // What the frames rendered through the message loop saw, column and row.
  static inline std::vector<std::pair<int, int>> frames;
  static inline int saves = 0;
  static void RecordFrame() { frames.emplace_back(scene.lightColumn, scene.lightRow); }
  static void RecordSave() { ++saves; }
  using Lights = std::vector<std::pair<int, int>>;

  ClientRectangle client{};
};

TEST_F(Win32WindowTest, ClassAndWindowHaveTheirFixedProperties) {
  OpenWindow(640, 480);
  WNDCLASSA windowClass{};
  ASSERT_TRUE(GetClassInfoA(Instance(), "Glintor", &windowClass));
  EXPECT_EQ(windowClass.style, UINT{CS_DBLCLKS});
  EXPECT_EQ(windowClass.lpfnWndProc, MainWindowProc);
  EXPECT_EQ(windowClass.hbrBackground, GetStockObject(BLACK_BRUSH));
  EXPECT_EQ(windowClass.hCursor, LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)));
  EXPECT_EQ(windowClass.hIcon, nullptr);
  EXPECT_EQ(windowClass.cbClsExtra, 0);
  EXPECT_EQ(windowClass.cbWndExtra, 0);

  const auto style = static_cast<DWORD>(GetWindowLongPtrA(Window(), GWL_STYLE));
  EXPECT_EQ(style & (WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
            DWORD{WS_CAPTION | WS_SYSMENU});
  EXPECT_EQ(GetWindowLongPtrA(Window(), GWL_EXSTYLE) & ~LONG_PTR{WS_EX_WINDOWEDGE}, 0);
  EXPECT_TRUE(IsWindowVisible(Window()));
  char title[64] = {};
  GetWindowTextA(Window(), title, sizeof title);
  EXPECT_STREQ(title, "Glintor");

  RECT area{};
  GetClientRect(Window(), &area);
  EXPECT_EQ(area.right - area.left, 640);
  EXPECT_EQ(area.bottom - area.top, 480);
  POINT origin{0, 0};
  ClientToScreen(Window(), &origin);
  EXPECT_EQ(origin.x, client.left);
  EXPECT_EQ(origin.y, client.top);
}

TEST_F(Win32WindowTest, WindowOperationsSetTheTitleAndInvalidateTheClientArea) {
  OpenWindow(200, 150);
  ASSERT_NE(windowOperations.setTitle, nullptr);
  ASSERT_NE(windowOperations.requestRepaint, nullptr);
  windowOperations.setTitle(scene.window, "Glintor - 1.000 msec (0.500+0.500) - 1000.000 fps");
  char title[128] = {};
  GetWindowTextA(Window(), title, sizeof title);
  EXPECT_STREQ(title, "Glintor - 1.000 msec (0.500+0.500) - 1000.000 fps");

  ValidateRect(Window(), nullptr);
  windowOperations.requestRepaint(scene.window);
  RECT update{};
  ASSERT_TRUE(GetUpdateRect(Window(), &update, FALSE));
  EXPECT_EQ(update.left, 0);
  EXPECT_EQ(update.top, 0);
  EXPECT_EQ(update.right, 200);
  EXPECT_EQ(update.bottom, 150);
}

TEST_F(Win32WindowTest, PaintReturnsOneAndValidatesTheClientArea) {
  OpenWindow(200, 150);
  InvalidateRect(Window(), nullptr, FALSE);
  EXPECT_EQ(SendMessageA(Window(), WM_PAINT, 0, 0), 1);
  RECT update{};
  EXPECT_FALSE(GetUpdateRect(Window(), &update, FALSE));
}

// Each paint gives back the device context it took.
TEST_F(Win32WindowTest, PaintingReleasesItsDeviceContexts) {
  OpenWindow(201, 150);
  ExpectGraphicsObjectsGivenBack([this] {
    SendMessageA(Window(), WM_PAINT, 0, 0);
    SendMessageA(Window(), WM_PAINT, 0, 0);
  });
}

// Reads the client area back and compares it with `output`, bottom row
// first, at widths whose rows the system pads, tall enough for the padded
// rows to be painted in more than one band.
TEST_F(Win32WindowTest, PaintingShowsOutputUnshearedAtEveryWidth) {
  constexpr std::uint16_t height = 450;
  for (std::uint16_t width : {std::uint16_t{201}, std::uint16_t{202}, std::uint16_t{203}}) {
    SCOPED_TRACE(width);
    OpenWindow(width, height);
    for (std::size_t i = 0; i < PixelCount() * 3; ++i) {
      scene.output[i] = static_cast<std::uint8_t>(i * 31 / 7);
    }
    InvalidateRect(Window(), nullptr, FALSE);
    UpdateWindow(Window());

    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = height;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(Window());
    HBITMAP copy = CreateDIBSection(screen, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(copy, nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* shown = static_cast<const std::uint8_t*>(bits);
    std::size_t mismatches = 0;
    for (std::size_t pixel = 0; pixel < PixelCount(); ++pixel) {
      for (std::size_t c = 0; c < 3; ++c) {
        if (shown[pixel * 4 + c] != scene.output[pixel * 3 + c]) ++mismatches;
      }
    }
    EXPECT_EQ(mismatches, 0u);
    SelectObject(memory, previous);
    DeleteDC(memory);
    DeleteObject(copy);
    ReleaseDC(Window(), screen);
    PlatformBackend().closeMainWindow();
    ReleaseBuffers();
  }
}

// Pointer moves reach the frame routine through the message loop, mapped to
// the light; one that arrives while a frame is rendered is dropped with 1;
// destroying the window ends the loop.
TEST_F(Win32WindowTest, PointerMovesRenderFramesUnlessBusy) {
  OpenWindow(200, 150);
  const HWND window = Window();
  PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(10, 0));     // top row: row 0
  PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(20, 149));   // bottom row: row 1
  PostMessageA(window, WM_MOUSEMOVE, 0, MAKELPARAM(250, 100));  // right of the picture
  PostMessageA(window, WM_CLOSE, 0, 0);
  PlatformBackend().runMessageLoop({RecordFrame, RecordSave});
  EXPECT_EQ(frames, (Lights{{10, 0}, {20, 1}, {0, 50}}));
  EXPECT_FALSE(IsWindow(window));
}

// S saves once however long it is held (the repeats carry bit 30);
// Escape destroys the window, which ends the loop like the close button.
TEST_F(Win32WindowTest, SKeySavesOnceAndEscapeEndsTheLoop) {
  OpenWindow(200, 150);
  const HWND window = Window();
  const LPARAM firstPress = 1, repeat = 1 | LPARAM{1} << 30;
  PostMessageA(window, WM_KEYDOWN, 'S', firstPress);
  PostMessageA(window, WM_KEYDOWN, 'S', repeat);
  PostMessageA(window, WM_KEYDOWN, 'A', firstPress);
  PostMessageA(window, WM_KEYDOWN, 'S', firstPress);
  PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, firstPress);
  PlatformBackend().runMessageLoop({RecordFrame, RecordSave});
  EXPECT_EQ(saves, 2);
  EXPECT_FALSE(IsWindow(window));
}

void (*busyProbe)() = nullptr;
LRESULT busyResult = 0;

TEST_F(Win32WindowTest, MovesWhileBusyAreDropped) {
  OpenWindow(200, 150);
  scene.lightColumn = 7;
  scene.lightRow = 9;
  // A frame that, while busy, gets a move sent to the window synchronously.
  busyProbe = [] {
    RecordFrame();
    scene.busy = 1;
    busyResult = SendMessageA(static_cast<HWND>(scene.window), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    scene.busy = 0;
  };
  PostMessageA(Window(), WM_MOUSEMOVE, 0, MAKELPARAM(40, 50));
  PostMessageA(Window(), WM_CLOSE, 0, 0);
  PlatformBackend().runMessageLoop({busyProbe, RecordSave});
  EXPECT_EQ(frames, (Lights{{40, 100}}));
  EXPECT_EQ(busyResult, 1);
  EXPECT_EQ(scene.lightColumn, 40);
  EXPECT_EQ(scene.lightRow, 100);
}

// Outside the message loop (in an error box's loop, say) there is no frame
// to render into: moves change nothing.
TEST_F(Win32WindowTest, MovesOutsideTheMessageLoopRenderNothing) {
  OpenWindow(200, 150);
  scene.lightColumn = 7;
  EXPECT_EQ(SendMessageA(Window(), WM_MOUSEMOVE, 0, MAKELPARAM(40, 50)), 1);
  EXPECT_EQ(scene.lightColumn, 7);
}

TEST_F(Win32WindowTest, ClosingDestroysTheWindowAndItsClass) {
  OpenWindow(200, 150);
  const HWND window = Window();
  PlatformBackend().closeMainWindow();
  EXPECT_FALSE(IsWindow(window));
  EXPECT_EQ(scene.window, nullptr);
  EXPECT_EQ(windowOperations.setTitle, nullptr);
  WNDCLASSA windowClass{};
  EXPECT_FALSE(GetClassInfoA(Instance(), "Glintor", &windowClass));
  // The quit message that the destruction posted says 0.
  MSG message{};
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 0u);
}

// A class of the same name already taken: no window, and the backend says so
// instead of leaving a message loop that nothing would end.
TEST_F(Win32WindowTest, ClassThatCannotBeRegisteredOpensNoWindow) {
  WNDCLASSA taken{};
  taken.lpfnWndProc = DefWindowProcA;
  taken.hInstance = Instance();
  taken.lpszClassName = "Glintor";
  ASSERT_NE(RegisterClassA(&taken), 0);
  scene.width = 200;
  scene.height = 150;
  EXPECT_FALSE(PlatformBackend().openMainWindow(CentreClientRectangle({0, 0, 1280, 1024}, 200, 150)));
  EXPECT_EQ(scene.window, nullptr);
  UnregisterClassA("Glintor", Instance());
}

TEST(Win32AvailableMemory, TheSystemTellsWhatIsLeft) {
  const std::uint64_t available = AvailableMemoryBytes();
  EXPECT_GT(available, std::uint64_t{16} << 20);
  EXPECT_LT(available, ~std::uint64_t{0});
}

}  // namespace
