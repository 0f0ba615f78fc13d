// The viewer's saves on their worker: each a copy taken when asked, written
// in turn under the first free name, told in the news, a failure handed
// over once, the saves left when a signal ends the viewer.

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>

#include "frame_saver.h"

namespace fs = std::filesystem;

namespace {

std::atomic<int> wakes{0};
void CountWake() { ++wakes; }

// Set only while no worker runs.
bool writesFail = false;

bool WriteRows(const fs::path& file, std::uint32_t width, std::uint32_t height, const std::uint8_t* rows,
               std::error_code& reason) {
  if (writesFail) reason = std::make_error_code(std::errc::read_only_file_system);
  std::ofstream out(file, std::ios::binary);
  out.write(reinterpret_cast<const char*>(rows), std::streamsize{width} * height * 3);
  return !writesFail && static_cast<bool>(out);
}

std::string Contents(const fs::path& file) {
  std::ostringstream text;
  text << std::ifstream(file, std::ios::binary).rdbuf();
  return text.str();
}

template <typename Condition>
void WaitUntil(Condition condition) {
  while (!condition()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

class FrameSaver : public ::testing::Test {
 protected:
  // The saver reads its gate's name once: the same for every test.
  FrameSaver() : folder(fs::temp_directory_path() / ("glintor-saver-" + std::to_string(getpid()))) {
    fs::create_directories(folder);
    setenv("GLINTOR_WRITE_GATE", gate.c_str(), 1);
  }
  ~FrameSaver() override { fs::remove_all(folder); }

  void ShutGate() { std::ofstream{gate}; }
  std::size_t Files() { return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {})); }

  const fs::path folder;
  const fs::path gate = folder / "gate";
  const fs::path picture = folder / "pic.png";
};

}  // namespace

TEST_F(FrameSaver, WritesCopiesInTurnUnderFreeNames) {
  StartSaver(WriteRows, CountWake);
  ShutGate();
  std::uint8_t frame[6] = {1, 2, 3, 4, 5, 6};
  QueueSave(picture, "test", frame, 2, 1, 1, -1);
  frame[0] = 9;  // after the copy
  QueueSave(picture, "test", frame, 2, 1, 1, -1);
  WaitUntil([] { return SaverNews().state == SaveNews::State::Saving; });
  EXPECT_EQ(SaverNews().name, "pic-test-1--1.png");
  EXPECT_TRUE(Saving());
  EXPECT_EQ(Files(), 1u);  // held at the gate
  fs::remove(gate);
  WaitUntil([] { return !Saving(); });
  EXPECT_EQ(SaverNews().state, SaveNews::State::Saved);
  EXPECT_EQ(SaverNews().name, "pic-test-1--1-2.png");
  EXPECT_EQ(Contents(folder / "pic-test-1--1.png"), "\1\2\3\4\5\6");
  EXPECT_EQ(Contents(folder / "pic-test-1--1-2.png"), "\t\2\3\4\5\6");
  EXPECT_GE(wakes.load(), 4);  // saving and saved, twice
  StopSaver(false);
  EXPECT_EQ(Files(), 2u);
  EXPECT_TRUE(TakeUnshownFailure().empty());
}

TEST_F(FrameSaver, TellsAFailureOnceAndLeavesSavesWhenAbandoned) {
  writesFail = true;
  StartSaver(WriteRows, CountWake);
  const std::uint8_t frame[3] = {};
  QueueSave(picture, "test", frame, 1, 1, 0, 0);
  WaitUntil([] { return SaverNews().state == SaveNews::State::Failed; });
  EXPECT_EQ(SaverNews().reason, "Read-only file system");
  EXPECT_EQ(TakeUnshownFailure(),
            "The frame could not be saved to " + (folder / "pic-test-0-0.png").string() + ": Read-only file system.");
  EXPECT_TRUE(TakeUnshownFailure().empty());
  StopSaver(false);
  EXPECT_EQ(Files(), 0u);

  writesFail = false;
  StartSaver(WriteRows, CountWake);
  ShutGate();
  QueueSave(picture, "test", frame, 1, 1, 0, 0);
  QueueSave(picture, "test", frame, 1, 1, 0, 0);
  WaitUntil([] { return SaverNews().state == SaveNews::State::Saving; });
  StopSaver(true);
  EXPECT_EQ(Files(), 1u);  // the gate alone
  EXPECT_EQ(SaverNews().state, SaveNews::State::None);
}
