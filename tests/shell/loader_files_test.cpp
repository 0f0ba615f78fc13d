// Picture files through LoadSourceImage, the same tests for the SDL reader
// and the Win32 one: every row width, every kind of BMP file a user may
// have, the BMP suite, and files that are missing, cut short or lie about
// themselves. Where the two readers must differ, ExpectedHere says how.

#include <map>
#include <string>
#include <vector>

#include "loader_test.h"

namespace {

using bmp_test::AllKinds;
using bmp_test::BmpKind;
using bmp_test::MakeBmp;
using bmp_test::MakeKind;
using bmp_test::PatternByte;
using loader_test::ExpectedHere;
using loader_test::HeaderOnly;

using LoaderFilesTest = loader_test::LoaderTest;

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
