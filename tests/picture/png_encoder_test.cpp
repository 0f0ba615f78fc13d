// The PNG encoder, read back by libpng: the frame's pixels, the same bytes
// whatever the threads, and failed writes reported.

#include <gtest/gtest.h>
#include <png.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "png_encoder.h"

namespace fs = std::filesystem;

namespace {

enum class Content { Flat, Noise, Gradient };

struct Case {
  std::uint32_t width, height;
  Content content;
  PngFilter filter;
  std::size_t bandBytes;  // 0: the chosen settings' bands
};

// B, G, R rows, bottom row first; the flat colour's channels all differ,
// so that their order shows.
std::vector<std::uint8_t> Frame(const Case& c) {
  std::vector<std::uint8_t> frame(std::size_t{3} * c.width * c.height);
  std::mt19937 random(c.width * 7919 + c.height);
  for (std::size_t i = 0; i < frame.size(); ++i) {
    const std::size_t pixel = i / 3, x = pixel % c.width, y = pixel / c.width, channel = i % 3;
    switch (c.content) {
      case Content::Flat: frame[i] = static_cast<std::uint8_t>(30 + 80 * channel); break;
      case Content::Noise: frame[i] = static_cast<std::uint8_t>(random()); break;
      case Content::Gradient:  // smooth shapes with a little grain, as in a photo
        frame[i] = static_cast<std::uint8_t>(
            std::clamp(128 + 90 * std::sin(0.013 * static_cast<double>(x + 40 * channel)) *
                                 std::cos(0.021 * static_cast<double>(y)) +
                           static_cast<double>(random() % 5),
                       0.0, 255.0));
        break;
    }
  }
  return frame;
}

std::vector<std::uint8_t> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string Name(const Case& c) {
  const char* const contents[] = {"flat", "noise", "gradient"};
  return std::to_string(c.width) + "x" + std::to_string(c.height) + "_" + contents[static_cast<int>(c.content)] +
         "_filter" + std::to_string(static_cast<int>(c.filter)) + "_bands" + std::to_string(c.bandBytes);
}
void PrintTo(const Case& c, std::ostream* out) { *out << Name(c); }
std::string CaseName(const testing::TestParamInfo<Case>& info) { return Name(info.param); }

class WritePngTest : public testing::TestWithParam<Case> {};

TEST_P(WritePngTest, ReadsBackAsTheFrameWhateverTheThreads) {
  const Case& c = GetParam();
  const std::vector<std::uint8_t> frame = Frame(c);
  const fs::path file = fs::temp_directory_path() / ("glintor-png-" + std::to_string(getpid()) + ".png");
  PngSettings settings = kPngSettings;
  settings.filter = c.filter;
  if (c.bandBytes != 0) settings.bandBytes = c.bandBytes;
  std::vector<std::uint8_t> first;
  for (const unsigned threads : {1u, 2u, 5u}) {
    settings.threads = threads;
    std::error_code reason;
    ASSERT_TRUE(WritePng(file, c.width, c.height, frame.data(), settings, reason)) << reason.message();
    if (first.empty()) first = Bytes(file);
    EXPECT_EQ(Bytes(file), first) << threads << " threads";
  }
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_file(&image, file.c_str())) << image.message;
  EXPECT_EQ(image.format, PNG_FORMAT_RGB);
  EXPECT_EQ(image.width, c.width);
  EXPECT_EQ(image.height, c.height);
  image.format = PNG_FORMAT_BGR;
  std::vector<std::uint8_t> read(frame.size());
  // A negative stride: bottom row first, as ours.
  ASSERT_TRUE(png_image_finish_read(&image, nullptr, read.data(), -static_cast<png_int_32>(3 * c.width), nullptr))
      << image.message;
  EXPECT_TRUE(read == frame);
  fs::remove(file);

  // A full disk (whether a write or the closing flush meets it) and a folder
  // that is not there.
  std::error_code reason;
  EXPECT_FALSE(WritePng("/dev/full", c.width, c.height, frame.data(), reason));
  EXPECT_EQ(reason, std::errc::no_space_on_device);
  EXPECT_FALSE(WritePng("/nonexistent/glintor.png", c.width, c.height, frame.data(), reason));
  EXPECT_EQ(reason, std::errc::no_such_file_or_directory);
}

// Band sizes of a few rows, with a last band cut short, join many bands.
INSTANTIATE_TEST_SUITE_P(
    Frames, WritePngTest,
    testing::Values(Case{1, 1, Content::Flat, PngFilter::Paeth, 0},
                    Case{1, 301, Content::Noise, PngFilter::Paeth, 16},
                    Case{37, 61, Content::Gradient, PngFilter::Paeth, 1000},
                    Case{301, 700, Content::Gradient, PngFilter::Paeth, 0},
                    Case{203, 150, Content::Noise, PngFilter::Paeth, 0},
                    Case{32768, 3, Content::Gradient, PngFilter::Paeth, 0},
                    Case{640, 480, Content::Flat, PngFilter::Paeth, 0},
                    Case{37, 61, Content::Gradient, PngFilter::None, 1000},
                    Case{37, 61, Content::Gradient, PngFilter::Sub, 1000},
                    Case{37, 61, Content::Gradient, PngFilter::Up, 1000},
                    Case{37, 61, Content::Gradient, PngFilter::Average, 1000},
                    Case{37, 61, Content::Noise, PngFilter::PerRow, 1000}),
    CaseName);

}  // namespace
