// Soak: glintor-render over many frames of random light positions, edges
// and corners included, on pictures of odd sizes. The program must end
// cleanly (a sanitizer report or a leak makes it fail), print one title per
// frame, and leave a last frame equal to the plain reference renderer's after
// the same sequence: pixels no ray reaches carry over from earlier frames, so
// the whole sequence counts.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "bmp_file.h"
#include "bmp_test_files.h"
#include "reference_renderer.h"
#include "test_scene.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Lights of a frame sequence: every corner and the middle of every edge at
// least once, then one in four on an edge or corner, the rest anywhere.
std::vector<Pixel> LightSequence(int width, int height, int frames, std::uint32_t seed) {
  std::mt19937 random(seed);
  const auto any = [&random](int size) { return static_cast<int>(random() % static_cast<std::uint32_t>(size)); };
  std::vector<Pixel> lights = {{0, 0},         {width - 1, 0},          {0, height - 1},
                               {width - 1, height - 1}, {width / 2, 0}, {width / 2, height - 1},
                               {0, height / 2}, {width - 1, height / 2}};
  while (static_cast<int>(lights.size()) < frames) {
    Pixel light{any(width), any(height)};
    switch (random() % 16) {
      case 0: light.column = 0; break;
      case 1: light.column = width - 1; break;
      case 2: light.row = 0; break;
      case 3: light.row = height - 1; break;
      default: break;
    }
    lights.push_back(light);
  }
  lights.resize(static_cast<std::size_t>(frames));
  return lights;
}

// Runs the program with the arguments, stdout and stderr to files; its exit
// status as waitpid gives it, or -1.
int RunProgram(const std::vector<std::string>& arguments, const std::string& out, const std::string& err) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  pid_t child = 0;
  const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  return waitpid(child, &status, 0) == child ? status : -1;
}

// Pixel rows of a bottom-up 24-bit BMP as glintor-render writes it, packed.
std::vector<std::uint8_t> ReadFrame(const std::string& path, int width, int height) {
  const auto bytes = bmp_test::ReadFile(path);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;
  const std::size_t stride = (rowBytes + 3) / 4 * 4;
  if (bytes.size() != 54 + stride * static_cast<std::size_t>(height)) return {};
  std::vector<std::uint8_t> pixels;
  for (int row = 0; row < height; ++row) {
    const auto start = bytes.begin() + 54 + static_cast<std::ptrdiff_t>(stride * static_cast<std::size_t>(row));
    pixels.insert(pixels.end(), start, start + static_cast<std::ptrdiff_t>(rowBytes));
  }
  return pixels;
}

struct SoakCase {
  const char* mode;
  AccumulationMode accumulation;
  int width;
  int height;
  std::uint32_t seed;
};

class Soak : public ::testing::TestWithParam<SoakCase> {};

TEST_P(Soak, LastFrameEqualsTheReferenceAfterTheSameSequence) {
  const SoakCase& c = GetParam();
  const int frames = GLINTOR_SOAK_FRAMES;
  const fs::path directory = fs::temp_directory_path() /
                             ("glintor-soak-" + std::string(c.mode) + "-" + std::to_string(getpid()));
  fs::create_directories(directory);
  const std::string input = (directory / "input.bmp").string();
  const std::string output = (directory / "output.bmp").string();
  const std::vector<std::uint8_t> picture = RandomPicture(c.width, c.height, c.seed);
  ASSERT_TRUE(WriteBmp(input, static_cast<std::uint32_t>(c.width), static_cast<std::uint32_t>(c.height),
                       24, picture.data()));

  const std::vector<Pixel> lights = LightSequence(c.width, c.height, frames, c.seed);
  std::vector<std::string> arguments = {GLINTOR_RENDER, "--mode", c.mode};
  for (const Pixel& light : lights) {
    arguments.push_back("--light");
    arguments.push_back(std::to_string(light.column) + "," + std::to_string(light.row));
  }
  arguments.push_back(input);
  arguments.push_back(output);
  const int status = RunProgram(arguments, (directory / "stdout").string(), (directory / "stderr").string());

  ReferenceRenderer reference(c.accumulation, c.width, c.height, picture);
  for (const Pixel& light : lights) reference.RenderFrame(light);

  const auto stdoutBytes = bmp_test::ReadFile((directory / "stdout").string());
  const auto stderrBytes = bmp_test::ReadFile((directory / "stderr").string());
  const std::vector<std::uint8_t> frame = ReadFrame(output, c.width, c.height);
  fs::remove_all(directory);

  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
      << "status " << status << "; stderr: " << std::string(stderrBytes.begin(), stderrBytes.end());
  EXPECT_TRUE(stderrBytes.empty()) << std::string(stderrBytes.begin(), stderrBytes.end());
  const std::string titles(stdoutBytes.begin(), stdoutBytes.end());
  EXPECT_EQ(std::count(titles.begin(), titles.end(), '\n'), frames);
  ASSERT_EQ(frame.size(), reference.output.size());
  std::size_t differing = 0;
  for (std::size_t i = 0; i < frame.size(); ++i) differing += frame[i] != reference.output[i];
  EXPECT_EQ(differing, 0u) << "bytes of the last frame differ after " << frames << " frames";
}

INSTANTIATE_TEST_SUITE_P(
    OddPictures, Soak,
    ::testing::Values(SoakCase{"weighted", AccumulationMode::Weighted, 101, 103, 61},
                      SoakCase{"uniform", AccumulationMode::Uniform, 127, 101, 62}),
    [](const ::testing::TestParamInfo<SoakCase>& param) {
      return std::string(param.param.mode) + "_" + std::to_string(param.param.width) + "x" +
             std::to_string(param.param.height);
    });

TEST(SoakLights, EveryCornerAndEdgeIsVisited) {
  const auto lights = LightSequence(101, 103, 400, 7);
  ASSERT_EQ(lights.size(), 400u);
  int corners = 0, edges = 0;
  for (const Pixel& light : lights) {
    ASSERT_TRUE(light.column >= 0 && light.column < 101 && light.row >= 0 && light.row < 103);
    const bool columnEdge = light.column == 0 || light.column == 100;
    const bool rowEdge = light.row == 0 || light.row == 102;
    corners += columnEdge && rowEdge;
    edges += columnEdge != rowEdge;
  }
  EXPECT_GE(corners, 4);
  EXPECT_GE(edges, 60);
  EXPECT_LE(edges, 160);
}

}  // namespace
