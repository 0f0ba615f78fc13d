// Reading pictures through SDL's BMP reader into `source`, and the
// program's own BMP writer read back the same way.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "bmp_test_files.h"
#include "scene_state.h"
#include "sdl_backend.h"

namespace {

namespace fs = std::filesystem;
using bmp_test::MakeBmp;
using bmp_test::PatternByte;
using bmp_test::WriteFile;

class SdlSourceImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene = SceneState{};
    directory = fs::temp_directory_path() /
                ("glintor-shell-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(directory);
  }
  void TearDown() override {
    ReleaseBuffers();
    scene = SceneState{};
    fs::remove_all(directory);
  }
  std::string PathOf(const std::string& name) const { return (directory / name).string(); }
  LoadResult Load(const std::vector<std::uint8_t>& bytes) {
    WriteFile(PathOf("source.bmp"), bytes);
    return LoadSourceImage(PathOf("source.bmp").c_str());
  }
  // Counts bytes of `source` that differ from the pattern.
  std::size_t PatternMismatches() const {
    std::size_t mismatches = 0;
    for (std::uint32_t row = 0; row < scene.height; ++row) {
      for (std::uint32_t column = 0; column < scene.width; ++column) {
        for (int c = 0; c < 3; ++c) {
          const std::size_t at = (std::size_t{row} * scene.width + column) * 3 + static_cast<std::size_t>(c);
          if (scene.source[at] != PatternByte(column, row, c)) ++mismatches;
        }
      }
    }
    return mismatches;
  }
  fs::path directory;
};

TEST_F(SdlSourceImageTest, EveryRowWidthLoadsUnsheared) {
  for (std::int32_t width : {100, 101, 102, 103}) {
    SCOPED_TRACE(width);
    ASSERT_EQ(Load(MakeBmp(width, 100, 24)), LoadResult::Loaded);
    EXPECT_EQ(scene.width, width);
    EXPECT_EQ(scene.height, 100);
    EXPECT_EQ(PatternMismatches(), 0u);
    ReleaseBuffers();
  }
}

TEST_F(SdlSourceImageTest, TopDownAnd32BitPicturesLoadBottomRowFirst) {
  ASSERT_EQ(Load(MakeBmp(101, 120, 24, true)), LoadResult::Loaded);
  EXPECT_EQ(PatternMismatches(), 0u);
  ReleaseBuffers();
  ASSERT_EQ(Load(MakeBmp(100, 100, 32)), LoadResult::Loaded);
  EXPECT_EQ(scene.height, 100);
  EXPECT_EQ(PatternMismatches(), 0u);
}

TEST_F(SdlSourceImageTest, RefusalsFollowTheCheckOrder) {
  EXPECT_EQ(Load(MakeBmp(99, 500, 24)), LoadResult::TooSmall);
  EXPECT_EQ(Load(MakeBmp(500, 99, 24)), LoadResult::TooSmall);
  EXPECT_EQ(Load(MakeBmp(50, 50, 8)), LoadResult::TooSmall);
  EXPECT_EQ(Load(MakeBmp(200, 200, 8)), LoadResult::Unsupported);
  EXPECT_EQ(Load(MakeBmp(200, 200, 16)), LoadResult::Unsupported);
  EXPECT_EQ(Load(MakeBmp(200, 200, 4)), LoadResult::Unsupported);
  EXPECT_EQ(scene.source, nullptr);
}

TEST_F(SdlSourceImageTest, OversizedPicturesAreRefusedFromTheHeader) {
  // Only the header is written: the refusal must not need the pixels.
  EXPECT_EQ(Load(MakeBmp(32769, 100, 24, false, 0)), LoadResult::TooLarge);
  EXPECT_EQ(Load(MakeBmp(100, 40000, 24, true, 0)), LoadResult::TooLarge);
  EXPECT_EQ(Load(MakeBmp(65636, 200, 24, false, 0)), LoadResult::TooLarge);
  EXPECT_EQ(scene.source, nullptr);
}

TEST_F(SdlSourceImageTest, MissingTruncatedAndForeignFilesAreNotFound) {
  EXPECT_EQ(LoadSourceImage(PathOf("absent.bmp").c_str()), LoadResult::NotFound);
  EXPECT_EQ(Load({}), LoadResult::NotFound);
  const std::string text = "this is not a picture, just some text in a file";
  EXPECT_EQ(Load({text.begin(), text.end()}), LoadResult::NotFound);
  EXPECT_EQ(Load(MakeBmp(200, 200, 24, false, 199)), LoadResult::NotFound);
  // A header that promises 2.7 GB of pixels in a file of a few bytes.
  EXPECT_EQ(Load(MakeBmp(30000, 30000, 24, false, 1)), LoadResult::NotFound);
  EXPECT_EQ(scene.source, nullptr);
}

TEST_F(SdlSourceImageTest, WrittenPicturesReadBackAsWritten) {
  std::vector<std::uint8_t> pixels;
  const std::uint32_t width = 103, height = 101;
  for (std::uint32_t row = 0; row < height; ++row) {
    for (std::uint32_t column = 0; column < width; ++column) {
      for (int c = 0; c < 3; ++c) pixels.push_back(PatternByte(column, row, c));
    }
  }
  for (unsigned depth : {24u, 32u}) {
    SCOPED_TRACE(depth);
    ASSERT_TRUE(WriteBmp(PathOf("written.bmp"), width, height, depth, pixels.data()));
    const auto file = bmp_test::ReadFile(PathOf("written.bmp"));
    const std::size_t rowBytes = (width * depth / 8 + 3) / 4 * 4;
    EXPECT_EQ(file.size(), 54 + rowBytes * height);
    ASSERT_EQ(LoadSourceImage(PathOf("written.bmp").c_str()), LoadResult::Loaded);
    EXPECT_EQ(PatternMismatches(), 0u);
    ReleaseBuffers();
  }
  for (unsigned depth : {8u, 16u}) {
    ASSERT_TRUE(WriteBmp(PathOf("written.bmp"), 200, 200, depth, std::vector<std::uint8_t>(200 * 200 * 3).data()));
    EXPECT_EQ(LoadSourceImage(PathOf("written.bmp").c_str()), LoadResult::Unsupported);
  }
}

TEST_F(SdlSourceImageTest, FailedWriteLeavesNoFile) {
  const std::vector<std::uint8_t> pixels(100 * 100 * 3, 7);
  const std::string path = PathOf("missing-folder/out.bmp");
  EXPECT_FALSE(WriteBmp(path, 100, 100, 24, pixels.data()));
  EXPECT_FALSE(fs::exists(path));
  // A directory in the way of the rename: the temporary file is removed.
  fs::create_directories(PathOf("taken.bmp"));
  EXPECT_FALSE(WriteBmp(PathOf("taken.bmp"), 100, 100, 24, pixels.data()));
  EXPECT_FALSE(fs::exists(PathOf("taken.bmp.partial")));
}

}  // namespace
