// Picture files through LoadSourceImage, the same tests for the SDL reader
// and the Win32 one: every row width, every kind of BMP file a user may
// have, the BMP suite, and files that are missing, cut short or lie about
// themselves. Where the two readers must differ, ExpectedHere says how.

#include <map>
#include <string>
#include <vector>

#include "loader_test.h"
#include "png_kinds.h"

namespace {

using bmp_test::AllKinds;
using bmp_test::BmpKind;
using bmp_test::MakeBmp;
using bmp_test::MakeKind;
using bmp_test::PatternByte;
using loader_test::ExpectedHere;
using loader_test::HeaderOnly;

using LoaderFilesTest = loader_test::LoaderTest;

using png_test::MakePng;
const png_test::PngKind kRgb8{"rgb-8", 2, 8};

// The markers of a JPEG up to its frame header (type, precision, sides, one
// to three components sampled 1 x 1), then `fill` bytes and the end marker.
std::vector<std::uint8_t> JpegHeader(std::uint8_t frame, std::uint8_t precision, std::uint16_t width,
                                     std::uint16_t height, std::size_t fill = 1000) {
  std::vector<std::uint8_t> bytes{0xFF, 0xD8, 0xFF, 0xE0, 0, 4, 'J', 'F', 0xFF, frame, 0, 17, precision};
  bytes.insert(bytes.end(), {static_cast<std::uint8_t>(height >> 8), static_cast<std::uint8_t>(height),
                             static_cast<std::uint8_t>(width >> 8), static_cast<std::uint8_t>(width), 3});
  for (std::uint8_t id = 1; id <= 3; ++id) bytes.insert(bytes.end(), {id, 0x11, 0});
  bytes.insert(bytes.end(), {0xFF, 0xDA, 0, 2});
  bytes.resize(bytes.size() + fill, 0x55);
  bytes.insert(bytes.end(), {0xFF, 0xD9});
  return bytes;
}

// A PNG whose pixel data has one byte changed: its checksum no longer fits.
std::vector<std::uint8_t> CorruptPng() {
  std::vector<std::uint8_t> bytes = MakePng(kRgb8, 200, 150);
  bytes[bytes.size() - 40] ^= 0x10;
  return bytes;
}

std::vector<std::uint8_t> FirstHalf(std::vector<std::uint8_t> bytes) {
  bytes.resize(bytes.size() / 2);
  return bytes;
}

struct Picture {
  std::int32_t width, height;
  std::uint16_t depth;
};

std::string Describe(const Picture& p) {
  return std::to_string(p.width) + " x " + std::to_string(p.height) + " x " + std::to_string(p.depth);
}

TEST_F(LoaderFilesTest, EveryRowWidthAndDepthLoadsUnsheared) {
  const Picture cases[] = {{100, 100, 24}, {101, 100, 24}, {102, 100, 24}, {103, 100, 24},
                           {255, 100, 24}, {100, 100, 32}, {101, 100, 32}};
  for (const Picture& c : cases) {
    SCOPED_TRACE(Describe(c));
    ASSERT_EQ(Load(MakeBmp(c.width, c.height, c.depth)), LoadResult::Loaded);
    EXPECT_EQ(scene.width, c.width);
    EXPECT_EQ(scene.height, c.height);
    EXPECT_EQ(Mismatches(PatternByte), 0u);
  }
}

TEST_F(LoaderFilesTest, ExactMinimumIsCopiedByteForByte) {
  const std::vector<std::uint8_t> file = MakeBmp(100, 100, 24);
  ASSERT_EQ(Load(file), LoadResult::Loaded);
  ASSERT_EQ(scene.width, 100);
  ASSERT_EQ(scene.height, 100);
  // 300-byte rows carry no padding: `source` is the file's pixel data.
  const std::vector<std::uint8_t> pixels(file.begin() + 54, file.end());
  ASSERT_EQ(pixels.size(), 30000u);
  EXPECT_EQ(std::vector<std::uint8_t>(scene.source, scene.source + 30000), pixels);
}

TEST_F(LoaderFilesTest, TopDownPicturesLoadTheRightWayUpOrAreRefused) {
  const LoadResult expected = ExpectedHere({.name = "top-down", .topDown = true});
  for (const Picture& c : {Picture{101, 120, 24}, Picture{100, 100, 32}}) {
    SCOPED_TRACE(Describe(c));
    ASSERT_EQ(Load(MakeBmp(c.width, c.height, c.depth, true)), expected);
    if (expected == LoadResult::Loaded) {
      EXPECT_EQ(Mismatches(PatternByte), 0u);
    } else {
      EXPECT_EQ(scene.source, nullptr);
    }
  }
}

TEST_F(LoaderFilesTest, RefusalsFollowTheCheckOrder) {
  const std::string text = "this is not a picture, just some text in a file";
  const struct {
    const char* what;
    std::vector<std::uint8_t> bytes;
    LoadResult expected;
  } cases[] = {
      {"99 x 500", MakeBmp(99, 500, 24), LoadResult::TooSmall},
      {"500 x 99", MakeBmp(500, 99, 24), LoadResult::TooSmall},
      {"100 x 99 top-down", MakeBmp(100, 99, 24, true), LoadResult::TooSmall},
      {"50 x 50 palette", MakeBmp(50, 50, 8), LoadResult::TooSmall},
      {"-65436 x 200, 100 if cut to 16 bits", MakeKind({.name = "negative", .width = -65436, .height = 200}, 0), LoadResult::TooSmall},
      {"8 bits", MakeBmp(200, 200, 8), LoadResult::Unsupported},
      {"16 bits", MakeBmp(200, 200, 16), LoadResult::Unsupported},
      {"4 bits", MakeBmp(200, 200, 4), LoadResult::Unsupported},
      {"32769 x 100", MakeBmp(32769, 100, 24), LoadResult::TooLarge},
      {"100 x 32769 top-down", MakeBmp(100, 32769, 24, true), LoadResult::TooLarge},
      // Only the header: the refusal must not need the pixels.
      {"32769 x 100 header", MakeBmp(32769, 100, 24, false, 0), LoadResult::TooLarge},
      {"100 x 40000 header", MakeBmp(100, 40000, 24, true, 0), LoadResult::TooLarge},
      {"65636 x 200 header, 100 if cut to 16 bits", MakeBmp(65636, 200, 24, false, 0), LoadResult::TooLarge},
      {"empty", {}, LoadResult::UnknownFormat},
      {"text", {text.begin(), text.end()}, LoadResult::UnknownFormat},
      {"a row short", MakeBmp(200, 200, 24, false, 199), LoadResult::NotFound},
      // A header that promises 2.7 GB of pixels in a file of a few bytes.
      {"30000 x 30000 in one row", MakeBmp(30000, 30000, 24, false, 1), LoadResult::NotFound},
      {"30000 x 30000 in 60 bytes", HeaderOnly(30000, 30000, 60), LoadResult::NotFound},
      {"PNG 99 x 500", MakePng(kRgb8, 99, 500), LoadResult::TooSmall},
      {"PNG 32769 x 100 header", MakePng(kRgb8, 10, 10, {32769, 100}), LoadResult::TooLarge},
      {"PNG 30000 x 30000 in 1 kB", MakePng(kRgb8, 10, 10, {30000, 30000}), LoadResult::NotFound},
      {"PNG cut short", FirstHalf(MakePng(kRgb8, 200, 150)), LoadResult::NotFound},
      {"PNG with a wrong checksum", CorruptPng(), LoadResult::NotFound},
      {"PNG of colour type 5", MakePng({"none", 5, 8}, 200, 150), LoadResult::NotFound},
      {"JPEG 99 x 500", JpegHeader(0xC0, 8, 99, 500), LoadResult::TooSmall},
      {"JPEG 65500 x 65500", JpegHeader(0xC2, 8, 65500, 65500), LoadResult::TooLarge},
      {"JPEG 30000 x 30000 in 1 kB", JpegHeader(0xC0, 8, 30000, 30000), LoadResult::NotFound},
      {"JPEG without its end", FirstHalf(JpegHeader(0xC0, 8, 200, 150, 20000)), LoadResult::NotFound},
      {"arithmetic-coded JPEG", JpegHeader(0xC9, 8, 200, 150), LoadResult::Unsupported},
      {"12-bit JPEG", JpegHeader(0xC1, 12, 200, 150), LoadResult::Unsupported},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Load(c.bytes), c.expected);
    EXPECT_EQ(scene.source, nullptr);
  }
  EXPECT_EQ(loader_test::LoadPath(PathOf("absent.bmp")), LoadResult::NotFound);
  EXPECT_EQ(scene.width, 0);
  EXPECT_EQ(scene.source, nullptr);
}

TEST_F(LoaderFilesTest, EveryKindLoadsExactlyOrGetsItsMessage) {
  int loaded = 0;
  for (const BmpKind& kind : AllKinds()) {
    SCOPED_TRACE(kind.name);
    if (ExpectOutcome(kind, Load(MakeKind(kind)))) ++loaded;
  }
  EXPECT_GE(loaded, 15);
}

TEST_F(LoaderFilesTest, EveryPngKindDecodesToItsPixels) {
  const std::uint32_t width = 101, height = 103;
  for (const png_test::PngKind& kind : png_test::AllPngKinds()) {
    SCOPED_TRACE(kind.name);
    ASSERT_EQ(Load(MakePng(kind, width, height)), LoadResult::Loaded);
    ASSERT_EQ(scene.width, width);
    ASSERT_EQ(scene.height, height);
    std::size_t mismatches = 0;
    for (std::uint32_t row = 0; row < height; ++row) {
      for (std::uint32_t column = 0; column < width; ++column) {
        const auto expected = png_test::Expected(kind, column, row, height);
        const std::uint8_t* pixel = scene.source + (std::size_t{row} * width + column) * 3;
        mismatches += !std::equal(expected.begin(), expected.end(), pixel);
      }
    }
    EXPECT_EQ(mismatches, 0u);
  }
}

TEST_F(LoaderFilesTest, EveryLoadableKindOneByteShortIsNotFound) {
  for (const BmpKind& kind : AllKinds()) {
    if (ExpectedHere(kind) != LoadResult::Loaded) continue;
    SCOPED_TRACE(kind.name);
    std::vector<std::uint8_t> bytes = MakeKind(kind);
    bytes.pop_back();
    EXPECT_EQ(Load(bytes), LoadResult::NotFound);
    EXPECT_EQ(scene.source, nullptr);
  }
}

TEST_F(LoaderFilesTest, EveryFileOfTheBmpSuiteIsRefusedWithItsMessage) {
  const std::map<std::string, LoadResult> exceptions = {
      {"b/badheadersize.bmp", LoadResult::NotFound},  // a header size no version has
      {"b/reallybig.bmp", LoadResult::TooLarge},      // 3,000,000 x 2,000,000 claimed
  };
  std::map<std::string, int> perFolder;
  for (const std::string& name : loader_test::SuiteFiles()) {
    SCOPED_TRACE(name);
    const auto found = exceptions.find(name);
    EXPECT_EQ(Load(loader_test::SuiteBytes(name)),
              found == exceptions.end() ? LoadResult::TooSmall : found->second);
    EXPECT_EQ(scene.source, nullptr);
    ++perFolder[name.substr(0, 1)];
  }
  EXPECT_EQ(perFolder["g"], 27);
  EXPECT_EQ(perFolder["q"], 41);
  EXPECT_EQ(perFolder["b"], 20);
}

}  // namespace
