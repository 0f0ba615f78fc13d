// The public BMP suite through the loader with the smallest side lowered (at
// the viewer's limits, loader_files_test.cpp refuses every file): the files
// reach the decoder and either load with the suite's reference pixels or are
// refused. The loader's promise also holds for every input the fuzzer ever
// found.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "loader_property.h"
#include "loader_test.h"

namespace {

namespace fs = std::filesystem;

using loader_test::SuiteBytes;
using loader_test::SuiteFiles;

using BmpSuiteTest = loader_test::LoaderTest;

TEST_F(BmpSuiteTest, WithSmallPicturesAllowedEachFileDecodesExactlyOrIsRefused) {
  // The suite draws one picture in every format; these hold it in a format
  // the decoder reads exactly (24 bits, or 32 bits of whole-byte channels).
  const std::set<std::string> sameAsReference = {
      "g/rgb24.bmp",         "g/rgb24pal.bmp",      "g/rgb32.bmp",          "g/rgb32bfdef.bmp",
      "q/rgb24largepal.bmp", "q/rgb24lprof.bmp",    "q/rgb32-xbgr.bmp",     "q/rgb32fakealpha.bmp"};
  // Alpha makes this one a different picture; it loads all the same.
  const std::string otherPicture = "q/rgba32-1.bmp";
  const std::map<std::string, LoadResult> otherRefusals = {
      {"b/badheadersize.bmp", LoadResult::NotFound},
      {"b/badwidth.bmp", LoadResult::TooSmall},  // -127 wide
      {"b/reallybig.bmp", LoadResult::TooLarge},
  };

  const auto reference = SuiteBytes("g/rgb24.bmp");
  ASSERT_EQ(LoadSourceImageFromBytes(reference.data(), reference.size(), 1), LoadResult::Loaded);
  ASSERT_EQ(scene.width, 127);
  ASSERT_EQ(scene.height, 64);
  const std::vector<std::uint8_t> referencePixels(scene.source, scene.source + PixelCount() * 3);
  ReleaseBuffers();

  int loaded = 0;
  for (const std::string& name : SuiteFiles()) {
    SCOPED_TRACE(name);
    const auto bytes = SuiteBytes(name);
    scene = SceneState{};
    const LoadResult result = LoadSourceImageFromBytes(bytes.data(), bytes.size(), 1);
    if (sameAsReference.count(name) == 1 || name == otherPicture) {
      ASSERT_EQ(result, LoadResult::Loaded);
      EXPECT_EQ(scene.width, 127);
      EXPECT_EQ(scene.height, 64);
      if (name != otherPicture) {
        EXPECT_TRUE(std::equal(referencePixels.begin(), referencePixels.end(), scene.source));
      }
      ++loaded;
    } else {
      const auto found = otherRefusals.find(name);
      EXPECT_EQ(result, found == otherRefusals.end() ? LoadResult::Unsupported : found->second);
      EXPECT_EQ(scene.source, nullptr);
    }
    ReleaseBuffers();
  }
  EXPECT_EQ(loaded, 9);
}

TEST(LoaderPromise, HoldsForTheSuiteTheKindsAndEveryInputTheFuzzerFound) {
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> inputs;
  for (const std::string& name : SuiteFiles()) inputs.emplace_back(name, SuiteBytes(name));
  for (const auto& kind : bmp_test::AllKinds()) inputs.emplace_back(kind.name, bmp_test::MakeKind(kind));
  int found = 0;
  for (const auto& entry : fs::directory_iterator(GLINTOR_FUZZ_REGRESSIONS_DIR)) {
    if (entry.path().filename() == "README.md") continue;
    inputs.emplace_back(entry.path().filename().string(), bmp_test::ReadFile(entry.path().string()));
    ++found;
  }
  for (const auto& [name, bytes] : inputs) {
    SCOPED_TRACE(name);
    for (const std::int64_t minSide : {kMinPictureSide, std::int64_t{1}}) {
      EXPECT_EQ(CheckLoaderOn(bytes.data(), bytes.size(), minSide), "") << "smallest side " << minSide;
    }
  }
  EXPECT_GE(inputs.size(), 88u + bmp_test::AllKinds().size() + static_cast<std::size_t>(found));
}

}  // namespace
