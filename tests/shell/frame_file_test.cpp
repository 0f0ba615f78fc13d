// Saving frames: nothing half-written may ever bear a name.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "frame_file.h"

namespace fs = std::filesystem;

TEST(WriteThroughTemporary, LeavesOnlyWholeFilesAndNeverReplacesOne) {
  const fs::path folder = fs::temp_directory_path() / ("glintor-save-" + std::to_string(getpid()));
  fs::create_directories(folder);
  auto writer = [](bool succeeds) {
    return [succeeds](const fs::path& file) {
      return static_cast<bool>(std::ofstream(file) << (succeeds ? "whole" : "half")) && succeeds;
    };
  };
  const fs::path target = folder / "frame.png";
  EXPECT_EQ(WriteThroughTemporary(target, false, writer(false)), WriteOutcome::Failed);
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_EQ(WriteThroughTemporary(target, false, writer(true)), WriteOutcome::Written);
  EXPECT_EQ(WriteThroughTemporary(target, false, writer(true)), WriteOutcome::Exists);
  EXPECT_EQ(WriteThroughTemporary(target, true, writer(false)), WriteOutcome::Failed);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  EXPECT_EQ(fs::file_size(target), 5u);  // still the whole one
  fs::remove_all(folder);
}
