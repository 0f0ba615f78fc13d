// The viewer's start-up sequence and buffer lifetime, driven through a
// recording backend.

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "backend.h"
#include "scene_state.h"
#include "viewer.h"

namespace {

struct Recording {
  std::vector<std::string> calls;
  std::vector<std::string> errors;
  std::string loadedName;
  ClientRectangle client{};
  LoadResult loadResult = LoadResult::Loaded;
  std::uint16_t width = 101, height = 101;
  bool screenAvailable = true;
  bool windowOpens = true;
  int framesInLoop = 0;
};
Recording recording;

LoadResult FakeLoad(const char* fileName) {
  recording.calls.push_back("load");
  recording.loadedName = fileName;
  if (recording.loadResult != LoadResult::Loaded) return recording.loadResult;
  scene.width = recording.width;
  scene.height = recording.height;
  scene.source = new std::uint8_t[PixelCount() * 3];
  return LoadResult::Loaded;
}
void FakeShowError(const char* text) {
  recording.calls.push_back("error");
  recording.errors.emplace_back(text);
}
bool FakeScreenSize(std::int32_t* width, std::int32_t* height) {
  recording.calls.push_back("screen");
  *width = 1920;
  *height = 1080;
  return recording.screenAvailable;
}
bool FakeOpenWindow(const ClientRectangle& client) {
  recording.calls.push_back("open");
  recording.client = client;
  return recording.windowOpens;
}
void FakeLoop(void (*renderFrame)()) {
  recording.calls.push_back("loop");
  for (int i = 0; i < recording.framesInLoop; ++i) renderFrame();
}
void FakeClose() { recording.calls.push_back("close"); }

void FakeFrame() {
  const bool buffersReady = scene.output && scene.coverage && scene.accum && scene.counts && scene.source;
  recording.calls.push_back("frame " + std::to_string(scene.lightColumn) + "," +
                            std::to_string(scene.lightRow) + (buffersReady ? "" : " without buffers"));
}

const ShellBackend fakeBackend{FakeLoad, FakeShowError, FakeScreenSize,
                               FakeOpenWindow, FakeLoop, FakeClose};

class ViewerMainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    recording = Recording{};
    scene = SceneState{};
    scene.busy = 1;  // whatever was there, the viewer starts not busy
  }
  void TearDown() override {
    ReleaseBuffers();
    scene = SceneState{};
  }
  static void ExpectAllBuffersReleased() {
    EXPECT_EQ(scene.source, nullptr);
    EXPECT_EQ(scene.output, nullptr);
    EXPECT_EQ(scene.coverage, nullptr);
    EXPECT_EQ(scene.accum, nullptr);
    EXPECT_EQ(scene.counts, nullptr);
  }
};

TEST_F(ViewerMainTest, RunsTheStartupSequenceAndExitsZeroAfterTheLoop) {
  recording.framesInLoop = 2;
  EXPECT_EQ(ViewerMain(fakeBackend, FakeFrame), 0);
  EXPECT_EQ(recording.loadedName, "source.bmp");
  const std::vector<std::string> expected{"load", "screen", "open", "frame 50,50",
                                          "loop", "frame 50,50", "frame 50,50", "close"};
  EXPECT_EQ(recording.calls, expected);
  EXPECT_EQ(recording.client.left, (1920 - 101) / 2);
  EXPECT_EQ(recording.client.bottom - recording.client.top, 101);
  EXPECT_EQ(scene.busy, 0);
  ExpectAllBuffersReleased();
}

TEST_F(ViewerMainTest, FailedLoadShowsItsMessageAndExitsOneWithoutAWindow) {
  const struct {
    LoadResult result;
    const char* message;
  } cases[] = {
      {LoadResult::NotFound, "The file source.bmp don't found,\nthe application will be closed."},
      {LoadResult::TooSmall, "The file source.bmp is invalid,\nor smaller."},
      {LoadResult::Unsupported, "The format of source.bmp is not supported."},
  };
  for (const auto& failure : cases) {
    SCOPED_TRACE(failure.message);
    recording = Recording{};
    recording.loadResult = failure.result;
    EXPECT_EQ(ViewerMain(fakeBackend, FakeFrame), 1);
    EXPECT_EQ(recording.errors, std::vector<std::string>{failure.message});
    for (const std::string& call : recording.calls) {
      EXPECT_NE(call, "open");
      EXPECT_NE(call.substr(0, 5), "frame");
    }
    ExpectAllBuffersReleased();
  }
}

TEST_F(ViewerMainTest, NoScreenOrNoWindowExitsOneAndReleasesTheSource) {
  recording.screenAvailable = false;
  EXPECT_EQ(ViewerMain(fakeBackend, FakeFrame), 1);
  ASSERT_EQ(recording.errors.size(), 1u);
  EXPECT_NE(recording.errors[0].find("window could not be opened"), std::string::npos);
  ExpectAllBuffersReleased();

  recording = Recording{};
  recording.windowOpens = false;
  EXPECT_EQ(ViewerMain(fakeBackend, FakeFrame), 1);
  EXPECT_EQ(recording.errors.size(), 1u);
  EXPECT_EQ(recording.calls.back(), "close");
  ExpectAllBuffersReleased();
}

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kAddressSpaceCanBeLimited = false;  // sanitizers reserve terabytes
#else
constexpr bool kAddressSpaceCanBeLimited = true;
#endif

int ViewerWithLimitedMemory() {
  const rlimit limit{rlim_t{2} << 30, rlim_t{2} << 30};
  setrlimit(RLIMIT_AS, &limit);
  return ViewerMain(fakeBackend, FakeFrame);
}

TEST_F(ViewerMainTest, FrameBuffersThatDoNotFitGetAMessageNotACrash) {
  if (!kAddressSpaceCanBeLimited) GTEST_SKIP() << "address space limits clash with sanitizers";
  // 20000 x 20000: the source (1.2 GB, never touched) fits in the 2 GB the
  // child may use, the 6 GB of frame buffers do not.
  recording.width = 20000;
  recording.height = 20000;
  EXPECT_EXIT(std::exit(ViewerWithLimitedMemory()), ::testing::ExitedWithCode(1),
              "not enough memory for source.bmp");
}

}  // namespace
