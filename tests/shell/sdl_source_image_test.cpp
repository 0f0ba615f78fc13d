// The program's own BMP writer, read back through SDL's BMP reader. The
// reader's tests shared with the Win32 build are in loader_files_test.cpp.

#include <filesystem>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "loader_test.h"

namespace {

namespace fs = std::filesystem;
using bmp_test::PatternByte;

using SdlSourceImageTest = loader_test::LoaderTest;

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
    EXPECT_EQ(Mismatches(PatternByte), 0u);
    Reset();
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
