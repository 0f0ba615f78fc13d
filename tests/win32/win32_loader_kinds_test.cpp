// The Windows reader under the same rules as the Linux one: every kind of
// BMP file a user may have, the BMP suite, and headers that lie about the
// file, through LoadSourceImage with the system's bitmap loader.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "available_memory.h"
#include "bmp_kinds.h"
#include "bmp_test_files.h"
#include "scene_state.h"
#include "win32_backend.h"

namespace {

namespace fs = std::filesystem;
using bmp_test::BmpKind;
using bmp_test::KindPixel;
using bmp_test::MakeKind;

class Win32LoaderKindsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    scene = SceneState{};
    directory = fs::temp_directory_path() /
                ("glintor-win32-kinds-" +
                 std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::create_directories(directory);
  }
  void TearDown() override {
    ReleaseBuffers();
    scene = SceneState{};
    fs::remove_all(directory);
  }
  LoadResult Load(const std::vector<std::uint8_t>& bytes) {
    ReleaseBuffers();
    scene = SceneState{};
    const std::string path = (directory / "source.bmp").string();
    bmp_test::WriteFile(path, bytes);
    return LoadSourceImage(GetModuleHandleA(nullptr), path.c_str());
  }
  static std::size_t Mismatches() {
    std::size_t mismatches = 0;
    for (std::uint32_t row = 0; row < scene.height; ++row) {
      for (std::uint32_t column = 0; column < scene.width; ++column) {
        for (int c = 0; c < 3; ++c) {
          const std::size_t at = (std::size_t{row} * scene.width + column) * 3 + static_cast<std::size_t>(c);
          if (scene.source[at] != KindPixel(column, row, c)) ++mismatches;
        }
      }
    }
    return mismatches;
  }
  fs::path directory;
};

// What the Windows reader must make of a kind: the same as the Linux one,
// except that pictures stored top row first (some systems' loaders make them
// black) and the 52- and 56-byte headers (the system's loader cannot read
// them) are not supported here.
LoadResult ExpectedOnWindows(const BmpKind& kind) {
  if (kind.expected != LoadResult::Loaded) return kind.expected;
  if (kind.topDown || kind.headerSize == 52 || kind.headerSize == 56) return LoadResult::Unsupported;
  return LoadResult::Loaded;
}

TEST_F(Win32LoaderKindsTest, EveryKindLoadsExactlyOrGetsItsMessage) {
  int loaded = 0;
  for (const BmpKind& kind : bmp_test::AllKinds()) {
    SCOPED_TRACE(kind.name);
    const LoadResult expected = ExpectedOnWindows(kind);
    const LoadResult result = Load(MakeKind(kind));
    EXPECT_EQ(result, expected);
    if (result != expected) continue;
    if (expected == LoadResult::Loaded) {
      EXPECT_EQ(scene.width, kind.width);
      EXPECT_EQ(scene.height, kind.height);
      EXPECT_EQ(Mismatches(), 0u);
      ++loaded;
    } else {
      EXPECT_EQ(scene.source, nullptr);
    }
  }
  EXPECT_GE(loaded, 15);
}

TEST_F(Win32LoaderKindsTest, CutShortOrLyingFilesAreNotFoundWithoutAllocating) {
  for (const BmpKind& kind : bmp_test::AllKinds()) {
    if (ExpectedOnWindows(kind) != LoadResult::Loaded) continue;
    SCOPED_TRACE(kind.name);
    std::vector<std::uint8_t> bytes = MakeKind(kind);
    bytes.pop_back();
    EXPECT_EQ(Load(bytes), LoadResult::NotFound);
  }
  // 60 bytes claiming 30000 x 30000 pixels, 2.7 GB of rows.
  std::vector<std::uint8_t> lying = MakeKind({.name = "lying", .width = 30000, .height = 30000}, 0);
  lying.resize(60, 0);
  EXPECT_EQ(Load(lying), LoadResult::NotFound);
  EXPECT_EQ(Load(MakeKind({.name = "wide", .width = 65636, .height = 200}, 0)), LoadResult::TooLarge);
  EXPECT_EQ(Load(MakeKind({.name = "negative", .width = -65436, .height = 200}, 0)), LoadResult::TooSmall);
  EXPECT_EQ(scene.source, nullptr);
}

TEST_F(Win32LoaderKindsTest, EveryFileOfTheBmpSuiteIsRefused) {
  const std::map<std::string, LoadResult> exceptions = {
      {"b/badheadersize.bmp", LoadResult::NotFound},
      {"b/reallybig.bmp", LoadResult::TooLarge},
  };
  int tried = 0;
  for (const char* folder : {"g", "q", "b"}) {
    for (const auto& entry : fs::directory_iterator(fs::path(GLINTOR_BMPSUITE_DIR) / folder)) {
      const std::string name = std::string(folder) + "/" + entry.path().filename().string();
      SCOPED_TRACE(name);
      const auto found = exceptions.find(name);
      ASSERT_EQ(Load(bmp_test::ReadFile(entry.path().string())),
                found == exceptions.end() ? LoadResult::TooSmall : found->second);
      ++tried;
    }
  }
  EXPECT_EQ(tried, 88);
}

TEST(Win32AvailableMemory, TheSystemTellsWhatIsLeft) {
  const std::uint64_t available = AvailableMemoryBytes();
  EXPECT_GT(available, std::uint64_t{16} << 20);
  EXPECT_LT(available, ~std::uint64_t{0});
}

}  // namespace
