// The Win32 backend under Wine: reading pictures with the system's codecs,
// and what the Windows C runtime would otherwise do differently. The
// window, painting and keys are tested end to end (tests/e2e).

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <utility>
#include <vector>

#include "backend.h"
#include "frame_file.h"
#include "png_encoder.h"
#include "renderer.h"
#include "scene_state.h"
#include "win32_backend.h"

namespace {

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

// The reader's tests shared with the SDL build are in loader_files_test.cpp.
const std::filesystem::path kPicture =
    std::filesystem::path(GLINTOR_TEST_DATA) / "pictures/bmp/rgb24-w103.bmp";

// Every load gives back its bitmap and its memory context: after a warm-up
// load, a hundred more keep no more than a few graphics objects.
TEST(Win32SourceImageTest, LoadsReleaseTheirGraphicsObjects) {
  std::ptrdiff_t before = 0;
  for (int i = 0; i <= 100; ++i) {
    if (i == 1) before = FreeGraphicsHandles();
    ReleaseBuffers();
    ASSERT_EQ(LoadSourceImage(kPicture), LoadResult::Loaded);
  }
  EXPECT_GT(before, 1000);
  EXPECT_LE(before - FreeGraphicsHandles(), 5);
  ReleaseBuffers();
}

// The encoder's file reads back as written, and neither it nor the decoder
// keeps the file open: a leaked COM object would hold a handle of it, which
// lets nobody delete the file.
TEST(Win32SourceImageTest, WrittenPngReadsBackAndNothingKeepsItOpen) {
  ASSERT_EQ(LoadSourceImage(kPicture), LoadResult::Loaded);
  const std::vector<std::uint8_t> written(scene.source, scene.source + PixelCount() * 3);
  const auto png = std::filesystem::temp_directory_path() / "glintor-written.png";
  std::error_code reason;
  ASSERT_TRUE(WritePng(png, scene.width, scene.height, written.data(), reason));
  ReleaseBuffers();
  ASSERT_EQ(LoadSourceImage(png), LoadResult::Loaded);
  EXPECT_EQ(std::vector<std::uint8_t>(scene.source, scene.source + written.size()), written);
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
  FormatTitle(title, sizeof title, 10000000, 5, 5, 5);
  EXPECT_STREQ(title, "Glintor - 0.000 msec (0.000+0.000) -   inf fps");
}

}  // namespace
