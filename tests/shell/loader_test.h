#pragma once

// The picture reader's test fixture, the same in the SDL and the Win32 test
// programs: a folder of its own per test, files written there and read back
// through this build's LoadSourceImage, and what landed in `source` judged
// against the pattern the file was made with.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "bmp_kinds.h"
#include "bmp_test_files.h"
#include "scene_state.h"
#ifdef _WIN32
#include <process.h>

#include "win32_backend.h"
#else
#include <unistd.h>

#include "sdl_backend.h"
#endif

namespace loader_test {

namespace fs = std::filesystem;
using bmp_test::BmpKind;

// The reader of this build, given a file's path.
inline LoadResult LoadPath(const fs::path& path) { return LoadSourceImage(path); }

// What this build's reader must make of a kind. The Windows one refuses
// pictures stored top row first (some systems' loaders make them black) and
// the 52- and 56-byte headers (the system's loader cannot read them).
inline LoadResult ExpectedHere(const BmpKind& kind) {
#ifdef _WIN32
  const bool notForTheSystem = kind.topDown || kind.headerSize == 52 || kind.headerSize == 56;
  if (kind.expected == LoadResult::Loaded && notForTheSystem) return LoadResult::Unsupported;
#endif
  return kind.expected;
}

// Files of the BMP suite by folder and name ("g/rgb24.bmp"), in a fixed order.
inline std::vector<std::string> SuiteFiles() {
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

inline std::vector<std::uint8_t> SuiteBytes(const std::string& name) {
  return bmp_test::ReadFile((fs::path(GLINTOR_BMPSUITE_DIR) / name).string());
}

// The headers of a 24-bit picture of that size, cut or padded with zeros to
// `fileSize` bytes.
inline std::vector<std::uint8_t> HeaderOnly(std::int32_t width, std::int32_t height, std::size_t fileSize) {
  std::vector<std::uint8_t> bytes = bmp_test::MakeKind({.name = "header", .width = width, .height = height}, 0);
  bytes.resize(fileSize, 0);
  return bytes;
}

using Pattern = std::uint8_t (*)(std::uint32_t column, std::uint32_t row, int channel);

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Reset();
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    directory = fs::temp_directory_path() / ("glintor-loader-" + std::to_string(getpid()) + "-" +
                                             test->test_suite_name() + "-" + test->name());
    fs::create_directories(directory);
  }
  void TearDown() override {
    Reset();
    fs::remove_all(directory);
  }
  static void Reset() {
    ReleaseBuffers();
    scene = SceneState{};
  }
  std::string PathOf(const std::string& name) const { return (directory / name).string(); }
  // Reads `bytes` as a file, into an empty scene.
  LoadResult Load(const std::vector<std::uint8_t>& bytes) {
    Reset();
    bmp_test::WriteFile(PathOf("source.bmp"), bytes);
    return LoadPath(PathOf("source.bmp"));
  }
  // Bytes of `source` that differ from the pattern.
  static std::size_t Mismatches(Pattern pattern = bmp_test::KindPixel) {
    std::size_t mismatches = 0;
    for (std::uint32_t row = 0; row < scene.height; ++row) {
      for (std::uint32_t column = 0; column < scene.width; ++column) {
        for (int c = 0; c < 3; ++c) {
          const std::size_t at = (std::size_t{row} * scene.width + column) * 3 + static_cast<std::size_t>(c);
          if (scene.source[at] != pattern(column, row, c)) ++mismatches;
        }
      }
    }
    return mismatches;
  }
  // What a load left in the scene, judged against the kind; true if it loaded.
  static bool ExpectOutcome(const BmpKind& kind, LoadResult result) {
    const LoadResult expected = ExpectedHere(kind);
    EXPECT_EQ(result, expected);
    if (result != LoadResult::Loaded) {
      EXPECT_EQ(scene.source, nullptr);
      return false;
    }
    EXPECT_EQ(scene.width, kind.width);
    EXPECT_EQ(scene.height, kind.height);
    if (scene.source == nullptr) {
      ADD_FAILURE() << "loaded, but `source` is empty";
      return false;
    }
    EXPECT_EQ(Mismatches(), 0u);
    return expected == LoadResult::Loaded;
  }
  fs::path directory;
};

}  // namespace loader_test
