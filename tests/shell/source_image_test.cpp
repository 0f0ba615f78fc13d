// The picture checks, their order and their messages, and the copy of
// decoded rows into `source`.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "scene_state.h"
#include "source_image.h"
#include "startup_messages.h"

namespace {

TEST(CheckPicture, AcceptsDeepPicturesFrom100To32768ASide) {
  EXPECT_EQ(CheckPicture(100, 100, 24), LoadResult::Loaded);
  EXPECT_EQ(CheckPicture(32768, 100, 32), LoadResult::Loaded);
  EXPECT_EQ(CheckPicture(100, 32768, 24), LoadResult::Loaded);
}

TEST(CheckPicture, RefusesInTheOrderSmallLargeShallow) {
  EXPECT_EQ(CheckPicture(99, 500, 24), LoadResult::TooSmall);
  EXPECT_EQ(CheckPicture(500, 99, 24), LoadResult::TooSmall);
  // Small and shallow: the size message comes first.
  EXPECT_EQ(CheckPicture(50, 50, 8), LoadResult::TooSmall);
  EXPECT_EQ(CheckPicture(50, 40000, 24), LoadResult::TooSmall);
  EXPECT_EQ(CheckPicture(32769, 100, 24), LoadResult::TooLarge);
  EXPECT_EQ(CheckPicture(100, 32769, 24), LoadResult::TooLarge);
  // Would pass as 100 if cut to 16 bits.
  EXPECT_EQ(CheckPicture(65636, 200, 24), LoadResult::TooLarge);
  EXPECT_EQ(CheckPicture(40000, 200, 8), LoadResult::TooLarge);
  EXPECT_EQ(CheckPicture(200, 200, 8), LoadResult::Unsupported);
  EXPECT_EQ(CheckPicture(200, 200, 16), LoadResult::Unsupported);
  EXPECT_EQ(CheckPicture(200, 200, 1), LoadResult::Unsupported);
}

TEST(StartupMessage, TheThreeStartupMessagesAreExact) {
  EXPECT_EQ(StartupMessage(LoadResult::NotFound, "source.bmp"),
            "The file source.bmp don't found,\nthe application will be closed.");
  EXPECT_EQ(StartupMessage(LoadResult::TooSmall, "source.bmp"),
            "The file source.bmp is invalid,\nor smaller.");
  EXPECT_EQ(StartupMessage(LoadResult::Unsupported, "source.bmp"),
            "The format of source.bmp is not supported.");
}

TEST(StartupMessage, OurOwnRefusalsNameTheFileAndTheLimit) {
  const std::string large = StartupMessage(LoadResult::TooLarge, "pictures/big.bmp");
  EXPECT_NE(large.find("pictures/big.bmp"), std::string::npos);
  EXPECT_NE(large.find("32768"), std::string::npos);
  EXPECT_NE(StartupMessage(LoadResult::OutOfMemory, "source.bmp").find("memory for source.bmp"),
            std::string::npos);
}

// A picture with a recognisable value in every byte: B, G, R of pixel
// (column, row) are column, row, column ^ row (mod 256).
std::uint8_t Expected(std::uint32_t column, std::uint32_t row, int channel) {
  const std::uint32_t values[3] = {column, row, column ^ row};
  return static_cast<std::uint8_t>(values[channel]);
}

// Rows as a reader hands them over: padded with marker bytes, each pixel
// followed by a marker byte at 4 bytes a pixel, in either row order.
struct Decoded {
  std::vector<std::uint8_t> bytes;
  PictureRows rows;
};

Decoded MakeDecoded(std::uint32_t width, std::uint32_t height, unsigned bytesPerPixel,
                    std::size_t padding, bool topRowFirst) {
  Decoded decoded;
  const std::size_t pitch = width * bytesPerPixel + padding;
  decoded.bytes.assign(pitch * height, 0xEE);
  for (std::uint32_t row = 0; row < height; ++row) {
    const std::size_t stored = topRowFirst ? height - 1 - row : row;
    for (std::uint32_t column = 0; column < width; ++column) {
      std::uint8_t* pixel = &decoded.bytes[stored * pitch + column * bytesPerPixel];
      for (int c = 0; c < 3; ++c) pixel[c] = Expected(column, row, c);
    }
  }
  const auto signedPitch = static_cast<std::ptrdiff_t>(pitch);
  decoded.rows = {width,
                  height,
                  bytesPerPixel * 8,
                  bytesPerPixel,
                  decoded.bytes.data() + (topRowFirst ? (height - 1) * pitch : 0),
                  topRowFirst ? -signedPitch : signedPitch};
  return decoded;
}

class FillSourceTest : public ::testing::Test {
 protected:
  void SetUp() override { scene = SceneState{}; }
  void TearDown() override {
    ReleaseBuffers();
    scene = SceneState{};
  }
  void ExpectSourceHoldsThePicture(std::uint32_t width, std::uint32_t height) {
    ASSERT_NE(scene.source, nullptr);
    ASSERT_EQ(scene.width, width);
    ASSERT_EQ(scene.height, height);
    std::size_t mismatches = 0;
    for (std::uint32_t row = 0; row < height; ++row) {
      for (std::uint32_t column = 0; column < width; ++column) {
        for (int c = 0; c < 3; ++c) {
          if (scene.source[(row * width + column) * 3 + static_cast<std::size_t>(c)] !=
              Expected(column, row, c)) {
            ++mismatches;
          }
        }
      }
    }
    EXPECT_EQ(mismatches, 0u);
  }
};

TEST_F(FillSourceTest, OddWidthsWithPaddedRowsAreNotSheared) {
  for (std::uint32_t width : {101u, 102u, 103u, 257u}) {
    SCOPED_TRACE(width);
    const Decoded decoded = MakeDecoded(width, 100, 3, (4 - width * 3 % 4) % 4, true);
    ASSERT_EQ(FillSource(decoded.rows), LoadResult::Loaded);
    ExpectSourceHoldsThePicture(width, 100);
    ReleaseBuffers();
  }
}

TEST_F(FillSourceTest, BottomUpRowsAndFourBytePixelsKeepOnlyBlueGreenRed) {
  const Decoded decoded = MakeDecoded(130, 120, 4, 0, false);
  ASSERT_EQ(FillSource(decoded.rows), LoadResult::Loaded);
  ExpectSourceHoldsThePicture(130, 120);
}

TEST_F(FillSourceTest, RefusedPictureLeavesNoSource) {
  Decoded decoded = MakeDecoded(99, 500, 3, 3, true);
  EXPECT_EQ(FillSource(decoded.rows), LoadResult::TooSmall);
  EXPECT_EQ(scene.source, nullptr);
  decoded = MakeDecoded(200, 200, 3, 0, true);
  decoded.rows.bitsPerPixel = 16;
  EXPECT_EQ(FillSource(decoded.rows), LoadResult::Unsupported);
  EXPECT_EQ(scene.source, nullptr);
}

}  // namespace
