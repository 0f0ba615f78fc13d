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

LoadResult FakeLoad(const std::filesystem::path& fileName) {
  recording.calls.push_back("load");
  recording.loadedName = fileName.string();
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
bool FakeScreenBounds(ClientRectangle* bounds) {
  recording.calls.push_back("screen");
  *bounds = {0, 0, 1920, 1080};
  return recording.screenAvailable;
}
bool FakeOpenWindow(const ClientRectangle& client) {
  recording.calls.push_back("open");
  recording.client = client;
  return recording.windowOpens;
}
void FakeLoop(const ViewerInput& input) {
  recording.calls.push_back("loop");
  for (int i = 0; i < recording.framesInLoop; ++i) input.renderFrame();
}
void FakeClose() { recording.calls.push_back("close"); }

void FakeFrame() {
  const bool buffersReady = scene.output && scene.coverage && scene.accum && scene.counts && scene.source;
  recording.calls.push_back("frame " + std::to_string(scene.lightColumn) + "," +
                            std::to_string(scene.lightRow) + (buffersReady ? "" : " without buffers"));
}

bool FakeWritePng(const std::filesystem::path&, std::uint32_t, std::uint32_t, const std::uint8_t*) {
  return false;
}

const ShellBackend fakeBackend{FakeLoad, FakeShowError, FakeScreenBounds, FakeOpenWindow,
                               FakeLoop, FakeClose,     FakeWritePng};

int RunViewer(const std::vector<std::filesystem::path>& arguments = {}) {
  return ViewerMain(fakeBackend, {"glintor-weighted", "weighted", FakeFrame}, arguments);
}

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
  EXPECT_EQ(RunViewer(), 0);
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
    EXPECT_EQ(RunViewer(), 1);
    EXPECT_EQ(recording.errors, std::vector<std::string>{failure.message});
    for (const std::string& call : recording.calls) {
      EXPECT_NE(call, "open");
      EXPECT_NE(call.substr(0, 5), "frame");
    }
    ExpectAllBuffersReleased();
  }
}

TEST_F(ViewerMainTest, TheArgumentNamesThePictureAndTheMessages) {
  const struct {
    std::vector<std::filesystem::path> arguments;
    LoadResult result;
    int exitCode;
    const char* loaded;   // nothing: the picture is never looked at
    const char* message;
  } cases[] = {
      {{"pics/a b.png"}, LoadResult::NotFound, 1, "pics/a b.png",
       "The file pics/a b.png don't found,\nthe application will be closed."},
      {{"notes.txt"}, LoadResult::UnknownFormat, 1, "notes.txt",
       "The format of notes.txt is not supported."},
      // Without an argument, a source.bmp of no known format is not found.
      {{}, LoadResult::UnknownFormat, 1, "source.bmp",
       "The file source.bmp don't found,\nthe application will be closed."},
      {{"--", "-dash.jpg"}, LoadResult::TooSmall, 1, "-dash.jpg",
       "The file -dash.jpg is invalid,\nor smaller."},
      {{"--help"}, LoadResult::Loaded, 0, nullptr, nullptr},
      {{"a.png", "-h"}, LoadResult::Loaded, 0, nullptr, nullptr},
      {{"a.png", "b.png"}, LoadResult::Loaded, 2, nullptr, nullptr},
      {{"--fast"}, LoadResult::Loaded, 2, nullptr, nullptr},
      {{"--"}, LoadResult::Loaded, 2, nullptr, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? "" : c.arguments[0].string());
    recording = Recording{};
    recording.loadResult = c.result;
    EXPECT_EQ(RunViewer(c.arguments), c.exitCode);
    EXPECT_EQ(recording.loadedName, c.loaded ? c.loaded : "");
    EXPECT_EQ(recording.errors, c.message ? std::vector<std::string>{c.message} : std::vector<std::string>{});
    ExpectAllBuffersReleased();
  }
}

TEST_F(ViewerMainTest, NoScreenOrNoWindowExitsOneAndReleasesTheSource) {
  recording.screenAvailable = false;
  EXPECT_EQ(RunViewer(), 1);
  ASSERT_EQ(recording.errors.size(), 1u);
  EXPECT_NE(recording.errors[0].find("window could not be opened"), std::string::npos);
  ExpectAllBuffersReleased();

  recording = Recording{};
  recording.windowOpens = false;
  EXPECT_EQ(RunViewer(), 1);
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
  return RunViewer();
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
