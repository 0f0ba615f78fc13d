// The public BMP suite through the loader: with the viewer's limits every
// file is refused with its message; with the smallest side lowered the files
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

#include "bmp_kinds.h"
#include "bmp_test_files.h"
#include "loader_property.h"
#include "scene_state.h"
#include "sdl_backend.h"

namespace {

namespace fs = std::filesystem;

// Files of the suite by folder and name ("g/rgb24.bmp"), in a fixed order.
std::vector<std::string> SuiteFiles() {
  std::vector<std::string> names;
  for (const char* folder : {"g", "q", "b"}) {
    for (const auto& entry : fs::directory_iterator(fs::path(GLINTOR_BMPSUITE_DIR) / folder)) {
      if (entry.path().extension() == ".bmp") {
        names.push_back(std::string(folder) + "/" + entry.path().filename().string());
      }
    }
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::uint8_t> SuiteBytes(const std::string& name) {
  return bmp_test::ReadFile((fs::path(GLINTOR_BMPSUITE_DIR) / name).string());
}

class BmpSuiteTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ReleaseBuffers();
    scene = SceneState{};
  }
};

TEST_F(BmpSuiteTest, EveryFileIsRefusedWithItsMessage) {
  const std::map<std::string, LoadResult> exceptions = {
      {"b/badheadersize.bmp", LoadResult::NotFound},  // a header size no version has
      {"b/reallybig.bmp", LoadResult::TooLarge},      // 3,000,000 x 2,000,000 claimed
  };
  std::map<std::string, int> perFolder;
  for (const std::string& name : SuiteFiles()) {
    SCOPED_TRACE(name);
    const auto found = exceptions.find(name);
    const LoadResult expected = found == exceptions.end() ? LoadResult::TooSmall : found->second;
    const std::string path = (fs::path(GLINTOR_BMPSUITE_DIR) / name).string();
    EXPECT_EQ(LoadSourceImage(path.c_str()), expected);
    EXPECT_EQ(scene.source, nullptr);
    ++perFolder[name.substr(0, 1)];
  }
  EXPECT_EQ(perFolder["g"], 27);
  EXPECT_EQ(perFolder["q"], 41);
  EXPECT_EQ(perFolder["b"], 20);
}

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
