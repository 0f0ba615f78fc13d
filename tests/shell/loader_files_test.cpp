// Every picture of tests/data/pictures/expected.txt through this build's
// reader by path, the same body for the SDL and the Win32 test programs:
// the outcome of the table (on Windows its own column where the system's
// reader must differ), and for a picture that loads, its pixels within the
// table's levels and the colour profile kept beside them. Compiled into both
// test programs.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "picture_file.h"
#include "scene_state.h"
#include "source_image.h"
#ifdef _WIN32
#include "win32_backend.h"
#else
#define SDL_MAIN_HANDLED
#include <SDL.h>

#include <sys/stat.h>
#include <unistd.h>

#include "loader_property.h"
#include "picture_decoders.h"
#endif

namespace {

namespace fs = std::filesystem;
const fs::path kData = GLINTOR_TEST_DATA;

std::vector<std::uint8_t> Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Row {
  std::string picture, outcome, windows, pixels, levels, profile;
};

std::vector<Row> Table() {
  std::vector<Row> rows;
  std::ifstream table(kData / "pictures/expected.txt");
  for (std::string line; std::getline(table, line);) {
    Row row;
    if (line.empty() || line[0] == '#') continue;
    std::istringstream(line) >> row.picture >> row.outcome >> row.windows >> row.pixels >> row.levels >> row.profile;
    rows.push_back(row);
  }
  return rows;
}

const std::map<std::string, LoadResult> kOutcomes = {
    {"loaded", LoadResult::Loaded},   {"notfound", LoadResult::NotFound},
    {"small", LoadResult::TooSmall},  {"large", LoadResult::TooLarge},
    {"unsupported", LoadResult::Unsupported}, {"unknown", LoadResult::UnknownFormat}};

// The largest block SDL and its decoders were asked for since it was zeroed.
std::size_t largest = 0;
#ifndef _WIN32
struct {
  SDL_malloc_func malloc;
  SDL_calloc_func calloc;
  SDL_realloc_func realloc;
  SDL_free_func free;
} sdl{};
void Note(std::size_t size) { largest = std::max(largest, size); }
#endif

TEST(LoaderFiles, EveryPictureOfTheTableLoadsItsPixelsOrGetsItsMessage) {
#ifdef _WIN32
  const bool windows = true;
#else
  const bool windows = false;
  SDL_GetMemoryFunctions(&sdl.malloc, &sdl.calloc, &sdl.realloc, &sdl.free);
  SDL_SetMemoryFunctions([](std::size_t size) { return Note(size), sdl.malloc(size); },
                         [](std::size_t n, std::size_t size) { return Note(n * size), sdl.calloc(n, size); },
                         [](void* block, std::size_t size) { return Note(size), sdl.realloc(block, size); },
                         [](void* block) { sdl.free(block); });
#endif
  const std::vector<Row> rows = Table();
  ASSERT_GE(rows.size(), 200u);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.picture);
    ReleaseBuffers();
    scene = SceneState{};
    largest = 0;
    const LoadResult result = LoadSourceImage(kData / row.picture);
    const std::string expected = windows && row.windows != "=" ? row.windows : row.outcome;
    EXPECT_EQ(result, kOutcomes.at(expected));
    // None where the column is empty: "srgb:INTENT" or the profile's file.
    const ColourProfile& profile = SourceColourProfile();
    if (row.profile.starts_with("srgb:")) {
      EXPECT_TRUE(profile.srgb && profile.icc.empty());
      EXPECT_EQ(profile.renderingIntent, std::stoi(row.profile.substr(5)));
    } else if (row.profile.empty() || row.profile == "-") {
      EXPECT_TRUE(profile.Empty());
    } else {
      EXPECT_TRUE(!profile.srgb && profile.icc == Bytes(kData / row.profile));
    }
    if (result != LoadResult::Loaded) {
      EXPECT_EQ(scene.source, nullptr);
      // Refused before a decoder could allocate what a lying header claims.
      if (!windows) {
        EXPECT_LT(largest, std::size_t{64} << 10);
      }
      continue;
    }
    if (row.pixels == "-") continue;  // loaded against the table: failed above
    const std::vector<std::uint8_t> pixels = Bytes(kData / row.pixels);
    ASSERT_EQ(std::size_t{scene.width} * scene.height * 3, pixels.size());
    if (!windows) {
      EXPECT_GE(largest, pixels.size());  // the probe sees what decoding takes
    }
    // "4/40": 4 levels, but 40 from the Windows decoder.
    const std::size_t slash = row.levels.find('/');
    const int levels =
        std::stoi(windows && slash != std::string::npos ? row.levels.substr(slash + 1) : row.levels);
    int worst = 0;
    for (std::size_t i = 0; i < pixels.size(); ++i) {
      worst = std::max(worst, std::abs(scene.source[i] - pixels[i]));
    }
    EXPECT_LE(worst, levels);
  }
  ReleaseBuffers();
  scene = SceneState{};
#ifndef _WIN32
  SDL_SetMemoryFunctions(sdl.malloc, sdl.calloc, sdl.realloc, sdl.free);
#endif
}

TEST(LoaderFiles, SidesFrom100To32768AndMoreThan16BitsPass) {
  const struct {
    std::int64_t width, height;
    unsigned bits;
    LoadResult expected;
  } cases[] = {{100, 100, 24, LoadResult::Loaded},         {32768, 32768, 32, LoadResult::Loaded},
               {99, 32768, 24, LoadResult::TooSmall},      {32768, 99, 8, LoadResult::TooSmall},
               {32769, 100, 24, LoadResult::TooLarge},     {100, 32769, 8, LoadResult::TooLarge},
               {100, 100, 16, LoadResult::Unsupported},    {100, 100, 17, LoadResult::Loaded}};
  for (const auto& c : cases) {
    EXPECT_EQ(CheckPicture(c.width, c.height, c.bits), c.expected)
        << c.width << " x " << c.height << " x " << c.bits;
  }
}

TEST(LoaderFiles, ChecksReadTheFileThroughABufferNotByteByByte) {
  // A megabyte of fill bytes before the frame header, as a file may have.
  std::vector<std::uint8_t> bytes = Bytes(kData / "pictures/jpeg/baseline.jpg");
  bytes.insert(bytes.begin() + 2, std::size_t{1} << 20, 0xFF);
  std::size_t reads = 0;
  const ReadAt read = [&](std::uint64_t offset, std::uint8_t* buffer, std::size_t size) {
    ++reads;
    size = offset < bytes.size() ? std::min<std::size_t>(size, bytes.size() - offset) : 0;
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(offset), size, buffer);
    return size;
  };
  PictureHeader header{};
  EXPECT_EQ(CheckBeforeDecoding(read, bytes.size(), &header), LoadResult::Loaded);
  EXPECT_LT(reads, 100u);
}

#ifndef _WIN32
TEST(LoaderPromise, HoldsForEveryPictureAndEveryInputTheFuzzerFound) {
  std::vector<fs::path> inputs;
  for (const Row& row : Table()) inputs.push_back(kData / row.picture);
  for (const auto& entry : fs::directory_iterator(GLINTOR_FUZZ_REGRESSIONS_DIR)) {
    inputs.push_back(entry.path());
  }
  ASSERT_GE(inputs.size(), 200u);
  for (const fs::path& input : inputs) {
    const std::vector<std::uint8_t> bytes = Bytes(input);
    for (const std::int64_t minSide : {kMinPictureSide, std::int64_t{1}}) {
      EXPECT_EQ(CheckLoaderOn(bytes.data(), bytes.size(), minSide), "")
          << input << ", smallest side " << minSide;
    }
  }
}

TEST(LoaderFiles, TheJpegDecoderAloneRefusesWhatItHadToMakeUp) {
  // The checks before decoding refuse these already; the decoder must too.
  for (const char* cut : {"cut-end-appended.jpg", "progressive-cut-end-appended.jpg", "baseline-cut.jpg",
                          "baseline-bit-flipped.jpg"}) {
    const std::vector<std::uint8_t> bytes = Bytes(kData / "pictures/jpeg" / cut);
    SDL_RWops* file = SDL_RWFromConstMem(bytes.data(), static_cast<int>(bytes.size()));
    LoadResult failure = LoadResult::Loaded;
    EXPECT_EQ(DecodeJpeg(file, &failure), nullptr) << cut;
    EXPECT_EQ(failure, LoadResult::NotFound) << cut;
    SDL_RWclose(file);
  }
}

TEST(LoaderFiles, OnlyRegularFilesAreRead) {
  // Each would block or never end if it were opened and read.
  const fs::path pipe = fs::temp_directory_path() / ("glintor-pipe-" + std::to_string(getpid()));
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_EQ(LoadSourceImage(pipe), LoadResult::NotFound);
  fs::remove(pipe);
  EXPECT_EQ(LoadSourceImage("/dev/zero"), LoadResult::NotFound);
  EXPECT_EQ(LoadSourceImage(kData), LoadResult::NotFound);
  EXPECT_EQ(LoadSourceImage(kData / "absent.bmp"), LoadResult::NotFound);
}
#endif

}  // namespace
