// Every kind of BMP file a user may have, through the reader the viewer and
// glintor-render use: exactly the right pixels, or the right refusal; and
// headers that lie about the file, refused before anything large is
// allocated.

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#define SDL_MAIN_HANDLED
#include <SDL.h>

#include "bmp_file.h"
#include "loader_test.h"
#include "picture_file.h"

namespace {

namespace fs = std::filesystem;
using bmp_test::AllKinds;
using bmp_test::BmpKind;
using bmp_test::MakeKind;
using loader_test::HeaderOnly;

using LoaderKindsTest = loader_test::LoaderTest;

// From files in loader_files_test.cpp.
TEST_F(LoaderKindsTest, EveryKindLoadsExactlyOrGetsItsMessageFromMemory) {
  int loaded = 0;
  for (const BmpKind& kind : AllKinds()) {
    SCOPED_TRACE(kind.name);
    const std::vector<std::uint8_t> bytes = MakeKind(kind);
    if (ExpectOutcome(kind, LoadSourceImageFromBytes(bytes.data(), bytes.size()))) ++loaded;
    Reset();
  }
  EXPECT_GE(loaded, 20);
}

TEST_F(LoaderKindsTest, EveryLoadableKindCutShortIsNotFound) {
  for (const BmpKind& kind : AllKinds()) {
    if (kind.expected != LoadResult::Loaded) continue;
    SCOPED_TRACE(kind.name);
    const std::vector<std::uint8_t> whole = MakeKind(kind);
    // Through the headers, into the first row, half way, one byte short.
    const std::size_t pixelsAt = std::size_t{whole[10]} | std::size_t{whole[11]} << 8;
    for (std::size_t size : {std::size_t{0}, std::size_t{2}, std::size_t{17}, pixelsAt - 1,
                             pixelsAt + 5, whole.size() / 2, whole.size() - 1}) {
      SCOPED_TRACE(size);
      const std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
      EXPECT_EQ(LoadSourceImageFromBytes(cut.data(), cut.size()), LoadResult::NotFound);
      EXPECT_EQ(scene.source, nullptr);
    }
    // Rows of another picture after the end change nothing.
    std::vector<std::uint8_t> longer = whole;
    longer.resize(whole.size() + 999, 0xAB);
    ASSERT_EQ(LoadSourceImageFromBytes(longer.data(), longer.size()), LoadResult::Loaded);
    EXPECT_EQ(Mismatches(), 0u);
    Reset();
  }
}

// Records the largest block SDL asks for, passing every call on.
struct SdlAllocations {
  SDL_malloc_func malloc;
  SDL_calloc_func calloc;
  SDL_realloc_func realloc;
  SDL_free_func free;
  std::size_t largest;
};
SdlAllocations sdl{};

class LargestSdlAllocation {
 public:
  LargestSdlAllocation() {
    SDL_GetMemoryFunctions(&sdl.malloc, &sdl.calloc, &sdl.realloc, &sdl.free);
    sdl.largest = 0;
    SDL_SetMemoryFunctions(
        [](std::size_t size) { return Note(size), sdl.malloc(size); },
        [](std::size_t count, std::size_t size) { return Note(count * size), sdl.calloc(count, size); },
        [](void* block, std::size_t size) { return Note(size), sdl.realloc(block, size); },
        [](void* block) { sdl.free(block); });
  }
  ~LargestSdlAllocation() { SDL_SetMemoryFunctions(sdl.malloc, sdl.calloc, sdl.realloc, sdl.free); }
  std::size_t Bytes() const { return sdl.largest; }

 private:
  static void Note(std::size_t size) { sdl.largest = std::max(sdl.largest, size); }
};

TEST_F(LoaderKindsTest, HeadersPromisingMoreThanTheFileHoldsAllocateNothingLarge) {
  const LargestSdlAllocation largest;
  // 60 bytes claiming 30000 x 30000 pixels: 2.7 GB of rows.
  const auto lying = HeaderOnly(30000, 30000, 60);
  EXPECT_EQ(Load(lying), LoadResult::NotFound);
  EXPECT_EQ(LoadSourceImageFromBytes(lying.data(), lying.size()), LoadResult::NotFound);
  const auto largestSide = HeaderOnly(32768, 32768, 4096);
  EXPECT_EQ(LoadSourceImageFromBytes(largestSide.data(), largestSide.size()), LoadResult::NotFound);
  // One row short of 1000 x 1000.
  const auto almost = HeaderOnly(1000, 1000, 54 + 3000 * 999);
  EXPECT_EQ(LoadSourceImageFromBytes(almost.data(), almost.size()), LoadResult::NotFound);
  EXPECT_LT(largest.Bytes(), std::size_t{64} << 10);
  EXPECT_EQ(scene.source, nullptr);
  // The probe sees the reader's pixel buffer when a picture does load.
  const auto whole = HeaderOnly(1000, 1000, 54 + 3000 * 1000);
  ASSERT_EQ(LoadSourceImageFromBytes(whole.data(), whole.size()), LoadResult::Loaded);
  EXPECT_GE(largest.Bytes(), std::size_t{3000} * 1000);
}

TEST_F(LoaderKindsTest, SidesThatCannotBeAPictureGetAClearMessage) {
  const struct {
    std::int32_t width, height;
    LoadResult expected;
  } cases[] = {
      {32769, 100, LoadResult::TooLarge},
      {100, 40000, LoadResult::TooLarge},
      {65636, 200, LoadResult::TooLarge},  // 100 if cut to 16 bits
      {200, INT32_MIN, LoadResult::TooLarge},
      {INT32_MAX, INT32_MAX, LoadResult::TooLarge},
      {0, 200, LoadResult::TooSmall},
      {200, 0, LoadResult::TooSmall},
      {-200, 200, LoadResult::TooSmall},
      {-65436, 200, LoadResult::TooSmall},  // 100 if cut to 16 bits
      {INT32_MIN, 200, LoadResult::TooSmall},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height));
    const auto bytes = HeaderOnly(c.width, c.height, 200);
    EXPECT_EQ(LoadSourceImageFromBytes(bytes.data(), bytes.size()), c.expected);
    EXPECT_EQ(scene.source, nullptr);
  }
}

void PutU32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

TEST_F(LoaderKindsTest, PixelOffsetsOutsideTheFileOrInsideTheHeadersAreNotFound) {
  const std::vector<std::uint8_t> good = MakeKind({.name = "good", .width = 101});
  for (std::uint32_t offset : {0u, 53u, 40000u, 0xFFFFFFF0u}) {
    SCOPED_TRACE(offset);
    std::vector<std::uint8_t> bytes = good;
    PutU32(bytes, 10, offset);
    EXPECT_EQ(LoadSourceImageFromBytes(bytes.data(), bytes.size()), LoadResult::NotFound);
  }
  // Bit fields after a 40-byte header: their 12 bytes are headers too.
  std::vector<std::uint8_t> masks =
      MakeKind({.name = "masks", .width = 101, .bitsPerPixel = 32, .compression = 3});
  PutU32(masks, 10, 60);
  EXPECT_EQ(LoadSourceImageFromBytes(masks.data(), masks.size()), LoadResult::NotFound);
  EXPECT_EQ(scene.source, nullptr);
}

TEST_F(LoaderKindsTest, SizesTheReaderDoesNotNeedMayLie) {
  std::vector<std::uint8_t> bytes = MakeKind({.name = "lies", .width = 103});
  PutU32(bytes, 2, 0xFFFFFFFF);   // file size
  PutU32(bytes, 34, 0xFFFFFFF0);  // image size
  PutU32(bytes, 46, 0xFFFFFFFF);  // colours used, none stored
  ASSERT_EQ(LoadSourceImageFromBytes(bytes.data(), bytes.size()), LoadResult::Loaded);
  EXPECT_EQ(Mismatches(), 0u);
}

TEST_F(LoaderKindsTest, OnlyRegularFilesAreRead) {
  // Each of these would block or never end if it were opened and read.
  const std::string pipe = PathOf("pipe.bmp");
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(LoadSourceImage(pipe.c_str()), LoadResult::NotFound);
  fs::create_symlink("/dev/zero", PathOf("zero.bmp"));
  EXPECT_EQ(LoadSourceImage(PathOf("zero.bmp").c_str()), LoadResult::NotFound);
  fs::create_directories(PathOf("folder.bmp"));
  EXPECT_EQ(LoadSourceImage(PathOf("folder.bmp").c_str()), LoadResult::NotFound);
  // A link to a good picture is followed.
  bmp_test::WriteFile(PathOf("real.bmp"), MakeKind({.name = "real", .width = 101}));
  fs::create_symlink(PathOf("real.bmp"), PathOf("link.bmp"));
  EXPECT_EQ(LoadSourceImage(PathOf("link.bmp").c_str()), LoadResult::Loaded);
}

TEST_F(LoaderKindsTest, TheFileCheckAgreesWithTheReader) {
  // The check the Windows reader runs first gives the same verdicts.
  for (const BmpKind& kind : AllKinds()) {
    SCOPED_TRACE(kind.name);
    bmp_test::WriteFile(PathOf("source.bmp"), MakeKind(kind));
    PictureHeader header{};
    const LoadResult verdict = CheckPictureFile(PathOf("source.bmp"), &header);
    // Mask orders are the one thing only the reader itself knows.
    if (kind.name != "bf32-r-top-byte") {
      EXPECT_EQ(verdict, kind.expected);
    }
  }
  PictureHeader header{};
  EXPECT_EQ(CheckPictureFile(PathOf("absent.bmp"), &header), LoadResult::NotFound);
  EXPECT_EQ(CheckPictureFile(directory, &header), LoadResult::NotFound);
}

}  // namespace
