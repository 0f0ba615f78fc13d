// The Win32 backend under Wine: reading pictures with the system's bitmap
// loader, the main window's class, placement and procedure, and painting.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "backend.h"
#include "bmp_test_files.h"
#include "pointer_light.h"
#include "renderer.h"
#include "scene_state.h"
#include "win32_backend.h"
#include "window_geometry.h"
#include "window_link.h"

namespace {

namespace fs = std::filesystem;
using bmp_test::MakeBmp;
using bmp_test::PatternByte;
using bmp_test::Put;
using bmp_test::WriteFile;

HINSTANCE Instance() { return GetModuleHandleA(nullptr); }

class Win32SourceImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene = SceneState{};
    directory = fs::temp_directory_path() /
                ("glintor-win32-test-" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(directory);
  }
  void TearDown() override {
    ReleaseBuffers();
    scene = SceneState{};
    fs::remove_all(directory);
  }
  std::string PathOf(const std::string& name) const { return (directory / name).string(); }
  LoadResult Load(const std::vector<std::uint8_t>& bytes) {
    ReleaseBuffers();
    WriteFile(PathOf("source.bmp"), bytes);
    return LoadSourceImage(Instance(), PathOf("source.bmp").c_str());
  }
  // Counts bytes of `source` that differ from the pattern.
  std::size_t PatternMismatches() const {
    std::size_t mismatches = 0;
    for (std::uint32_t row = 0; row < scene.height; ++row) {
      for (std::uint32_t column = 0; column < scene.width; ++column) {
        for (int c = 0; c < 3; ++c) {
          const std::size_t at =
              (std::size_t{row} * scene.width + column) * 3 + static_cast<std::size_t>(c);
          if (scene.source[at] != PatternByte(column, row, c)) ++mismatches;
        }
      }
    }
    return mismatches;
  }
  fs::path directory;
};

TEST_F(Win32SourceImageTest, EveryRowWidthLoadsUnsheared) {
  for (std::int32_t width : {100, 101, 102, 103, 255}) {
    SCOPED_TRACE(width);
    ASSERT_EQ(Load(MakeBmp(width, 100, 24)), LoadResult::Loaded);
    EXPECT_EQ(scene.width, width);
    EXPECT_EQ(scene.height, 100);
    EXPECT_EQ(PatternMismatches(), 0u);
  }
}

TEST_F(Win32SourceImageTest, ExactMinimumIsCopiedByteForByte) {
  const std::vector<std::uint8_t> file = MakeBmp(100, 100, 24);
  ASSERT_EQ(Load(file), LoadResult::Loaded);
  ASSERT_EQ(scene.width, 100);
  ASSERT_EQ(scene.height, 100);
  // 300-byte rows carry no padding: `source` is the file's pixel data.
  const std::vector<std::uint8_t> pixels(file.begin() + 54, file.end());
  ASSERT_EQ(pixels.size(), 30000u);
  EXPECT_EQ(std::vector<std::uint8_t>(scene.source, scene.source + 30000), pixels);
}

TEST_F(Win32SourceImageTest, ThirtyTwoBitPicturesKeepBlueGreenRedOnly) {
  ASSERT_EQ(Load(MakeBmp(101, 100, 32)), LoadResult::Loaded);
  EXPECT_EQ(PatternMismatches(), 0u);
}

// Some systems' loaders turn a picture stored top row first into a black
// one: such pictures are refused, after the size checks.
TEST_F(Win32SourceImageTest, TopDownPicturesAreRefused) {
  EXPECT_EQ(Load(MakeBmp(101, 120, 24, true)), LoadResult::Unsupported);
  EXPECT_EQ(Load(MakeBmp(100, 100, 32, true)), LoadResult::Unsupported);
  EXPECT_EQ(Load(MakeBmp(100, 99, 24, true)), LoadResult::TooSmall);
  EXPECT_EQ(scene.source, nullptr);
}

// A 32-bit picture whose channels are placed by colour masks, red in the
// lowest byte: the system resolves the masks.
TEST_F(Win32SourceImageTest, ColourMasksAreResolved) {
  const std::int32_t width = 100, height = 100;
  std::vector<std::uint8_t> bytes{'B', 'M'};
  const std::uint32_t offset = 14 + 40 + 12;
  Put(bytes, offset + width * height * 4, 4);
  Put(bytes, 0, 4);
  Put(bytes, offset, 4);
  Put(bytes, 40, 4);
  Put(bytes, width, 4);
  Put(bytes, height, 4);
  Put(bytes, 1, 2);
  Put(bytes, 32, 2);
  Put(bytes, 3, 4);  // BI_BITFIELDS
  Put(bytes, static_cast<std::uint32_t>(width * height * 4), 4);
  Put(bytes, 2835, 4);
  Put(bytes, 2835, 4);
  Put(bytes, 0, 4);
  Put(bytes, 0, 4);
  Put(bytes, 0x000000FF, 4);  // red
  Put(bytes, 0x0000FF00, 4);  // green
  Put(bytes, 0x00FF0000, 4);  // blue
  for (std::int32_t row = 0; row < height; ++row) {
    for (std::int32_t column = 0; column < width; ++column) {
      const auto c = static_cast<std::uint32_t>(column);
      const auto r = static_cast<std::uint32_t>(row);
      bytes.insert(bytes.end(),
                   {PatternByte(c, r, 2), PatternByte(c, r, 1), PatternByte(c, r, 0), 0});
    }
  }
  ASSERT_EQ(Load(bytes), LoadResult::Loaded);
  EXPECT_EQ(PatternMismatches(), 0u);
}

TEST_F(Win32SourceImageTest, RefusalsFollowTheCheckOrder) {
  EXPECT_EQ(Load(MakeBmp(99, 500, 24)), LoadResult::TooSmall);
  EXPECT_EQ(Load(MakeBmp(500, 99, 24)), LoadResult::TooSmall);
  EXPECT_EQ(Load(MakeBmp(50, 50, 8)), LoadResult::TooSmall);
  EXPECT_EQ(Load(MakeBmp(200, 200, 8)), LoadResult::Unsupported);
  EXPECT_EQ(Load(MakeBmp(200, 200, 16)), LoadResult::Unsupported);
  EXPECT_EQ(Load(MakeBmp(200, 200, 4)), LoadResult::Unsupported);
  EXPECT_EQ(Load(MakeBmp(32769, 100, 24)), LoadResult::TooLarge);
  EXPECT_EQ(Load(MakeBmp(100, 32769, 24, true)), LoadResult::TooLarge);
  EXPECT_EQ(scene.source, nullptr);
}

TEST_F(Win32SourceImageTest, MissingTruncatedAndForeignFilesAreNotFound) {
  EXPECT_EQ(LoadSourceImage(Instance(), PathOf("absent.bmp").c_str()), LoadResult::NotFound);
  EXPECT_EQ(scene.width, 0);
  EXPECT_EQ(Load({}), LoadResult::NotFound);
  const std::string text = "this is not a picture, just some text in a file";
  EXPECT_EQ(Load({text.begin(), text.end()}), LoadResult::NotFound);
  EXPECT_EQ(Load(MakeBmp(200, 200, 24, false, 199)), LoadResult::NotFound);
  // A header that promises 2.7 GB of pixels in a file of a few bytes.
  EXPECT_EQ(Load(MakeBmp(30000, 30000, 24, false, 1)), LoadResult::NotFound);
  EXPECT_EQ(scene.source, nullptr);
}

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

// Every load gives back its bitmap and its memory context.
TEST_F(Win32SourceImageTest, LoadsReleaseTheirGraphicsObjects) {
  WriteFile(PathOf("source.bmp"), MakeBmp(101, 100, 24));
  ASSERT_EQ(LoadSourceImage(Instance(), PathOf("source.bmp").c_str()), LoadResult::Loaded);
  const std::ptrdiff_t before = FreeGraphicsHandles();
  for (int i = 0; i < 100; ++i) {
    ReleaseBuffers();
    ASSERT_EQ(LoadSourceImage(Instance(), PathOf("source.bmp").c_str()), LoadResult::Loaded);
  }
  WriteFile(PathOf("source.bmp"), MakeBmp(200, 200, 8));
  for (int i = 0; i < 100; ++i) {
    ASSERT_EQ(LoadSourceImage(Instance(), PathOf("source.bmp").c_str()), LoadResult::Unsupported);
  }
  EXPECT_GT(before, 1000);
  EXPECT_LE(before - FreeGraphicsHandles(), 5);
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
    std::int32_t screenWidth = 0, screenHeight = 0;
    ASSERT_TRUE(PlatformBackend().primaryScreenSize(&screenWidth, &screenHeight));
    client = CentreClientRectangle(screenWidth, screenHeight, width, height);
    ASSERT_TRUE(PlatformBackend().openMainWindow(client));
    ASSERT_NE(scene.window, nullptr);
    ASSERT_TRUE(AllocateFrameBuffers());
  }
  HWND Window() const { return static_cast<HWND>(scene.window); }

  // What the frames rendered through the message loop saw.
  static inline std::vector<LightPosition> frames;
  static void RecordFrame() { frames.push_back({scene.lightColumn, scene.lightRow}); }

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
  SendMessageA(Window(), WM_PAINT, 0, 0);
  const std::ptrdiff_t before = FreeGraphicsHandles();
  for (int i = 0; i < 200; ++i) SendMessageA(Window(), WM_PAINT, 0, 0);
  EXPECT_GT(before, 1000);
  EXPECT_LE(before - FreeGraphicsHandles(), 5);
}

// Reads the client area back and compares it with `output`, bottom row
// first, at a width whose rows the system pads.
TEST_F(Win32WindowTest, PaintingShowsOutputUnshearedAtEveryWidth) {
  for (std::uint16_t width : {std::uint16_t{201}, std::uint16_t{202}, std::uint16_t{203}}) {
    SCOPED_TRACE(width);
    OpenWindow(width, 120);
    for (std::size_t i = 0; i < PixelCount() * 3; ++i) {
      scene.output[i] = static_cast<std::uint8_t>(i * 31 / 7);
    }
    InvalidateRect(Window(), nullptr, FALSE);
    UpdateWindow(Window());

    BITMAPINFO header{};
    header.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    header.bmiHeader.biWidth = width;
    header.bmiHeader.biHeight = 120;
    header.bmiHeader.biPlanes = 1;
    header.bmiHeader.biBitCount = 32;
    header.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HDC screen = GetDC(Window());
    HBITMAP copy = CreateDIBSection(screen, &header, DIB_RGB_COLORS, &bits, nullptr, 0);
    ASSERT_NE(copy, nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HGDIOBJ previous = SelectObject(memory, copy);
    BitBlt(memory, 0, 0, width, 120, screen, 0, 0, SRCCOPY);
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
  PlatformBackend().runMessageLoop(RecordFrame);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].column, 10);
  EXPECT_EQ(frames[0].row, 0);
  EXPECT_EQ(frames[1].column, 20);
  EXPECT_EQ(frames[1].row, 1);
  EXPECT_EQ(frames[2].column, 0);
  EXPECT_EQ(frames[2].row, 50);
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
    frames.push_back({scene.lightColumn, scene.lightRow});
    scene.busy = 1;
    busyResult = SendMessageA(static_cast<HWND>(scene.window), WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    scene.busy = 0;
  };
  PostMessageA(Window(), WM_MOUSEMOVE, 0, MAKELPARAM(40, 50));
  PostMessageA(Window(), WM_CLOSE, 0, 0);
  PlatformBackend().runMessageLoop(busyProbe);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].column, 40);
  EXPECT_EQ(frames[0].row, 100);
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
  EXPECT_FALSE(PlatformBackend().openMainWindow(CentreClientRectangle(1280, 1024, 200, 150)));
  EXPECT_EQ(scene.window, nullptr);
  UnregisterClassA("Glintor", Instance());
}

}  // namespace
