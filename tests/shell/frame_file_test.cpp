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
  const auto full = std::make_error_code(std::errc::no_space_on_device);
  auto writer = [full](bool succeeds) {
    return [succeeds, full](const fs::path& file, std::error_code& reason) {
      if (!succeeds) reason = full;
      return static_cast<bool>(std::ofstream(file) << (succeeds ? "whole" : "half")) && succeeds;
    };
  };
  const fs::path target = folder / "frame.png";
  std::error_code reason;
  EXPECT_EQ(WriteThroughTemporary(target, false, writer(false), reason), WriteOutcome::Failed);
  EXPECT_EQ(reason, full);
  EXPECT_TRUE(fs::is_empty(folder));
  EXPECT_EQ(WriteThroughTemporary(target, false, writer(true), reason), WriteOutcome::Written);
  EXPECT_EQ(WriteThroughTemporary(target, false, writer(true), reason), WriteOutcome::Exists);
  EXPECT_EQ(WriteThroughTemporary(target, true, writer(false), reason), WriteOutcome::Failed);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
  EXPECT_EQ(fs::file_size(target), 5u);  // still the whole one
  // A folder in the way fails at the rename, with the system's reason.
  EXPECT_EQ(WriteThroughTemporary(folder, true, writer(true), reason), WriteOutcome::Failed);
  EXPECT_EQ(ReasonText(reason), "Is a directory");

  // A picture's name near the file name limit: the saved name (254 bytes)
  // and its temporary lose the end of the stem, never part of a character.
  std::string stem = "a", kept = "a";
  for (int i = 0; i < 124; ++i) stem += "\xc3\xa9";
  for (int i = 0; i < 118; ++i) kept += "\xc3\xa9";
  const fs::path saved = SavedFrameName(folder / (stem + ".png"), "weighted", 1, 2);
  EXPECT_EQ(saved, folder / (kept + "-weighted-1-2.png"));
  // A light outside: the minus sign follows the separator.
  EXPECT_EQ(SavedFrameName("p.png", "uniform", -40, -2, 3), fs::path("p-uniform--40--2-3.png"));
  EXPECT_EQ(WriteThroughTemporary(saved, false, writer(true), reason), WriteOutcome::Written);
  EXPECT_TRUE(fs::exists(saved));
  fs::remove_all(folder);
}
