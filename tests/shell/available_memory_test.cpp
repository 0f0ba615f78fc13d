// The memory check made before a picture is decoded: what the system
// files say, and a picture refused in a process whose address space is
// limited.

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "available_memory.h"
#include "bmp_test_files.h"
#include "scene_state.h"
#include "sdl_backend.h"

namespace {

using namespace linux_memory;
constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;

TEST(PictureFitsInMemory, NeedsTwentyFiveBytesAPixel) {
  EXPECT_TRUE(PictureFitsInMemory(100, 100, 250'000));
  EXPECT_FALSE(PictureFitsInMemory(100, 100, 249'999));
  EXPECT_TRUE(PictureFitsInMemory(32768, 32768, 25 * (std::uint64_t{1} << 30)));
  EXPECT_FALSE(PictureFitsInMemory(32768, 32768, 25 * (std::uint64_t{1} << 30) - 1));
  // Products that would wrap around 64 bits never fit.
  EXPECT_FALSE(PictureFitsInMemory(std::uint64_t{1} << 40, std::uint64_t{1} << 40,
                                   std::numeric_limits<std::uint64_t>::max()));
}

TEST(LinuxMemory, MeminfoGivesAvailableMemoryPlusFreeSwap) {
  const std::string meminfo =
      "MemTotal:       24684000 kB\n"
      "MemFree:        23000000 kB\n"
      "MemAvailable:   20000000 kB\n"
      "SwapTotal:       2000000 kB\n"
      "SwapFree:        1000000 kB\n";
  EXPECT_EQ(FreeFromMeminfo(meminfo), std::uint64_t{21'000'000} * 1024);
  EXPECT_EQ(FreeFromMeminfo("MemAvailable: 5 kB\n"), 5u * 1024);
  // MemFree is not MemAvailable: without it the system tells nothing.
  EXPECT_EQ(FreeFromMeminfo("MemFree: 5 kB\nSwapFree: 7 kB\n"), std::nullopt);
  EXPECT_EQ(FreeFromMeminfo(""), std::nullopt);
  EXPECT_EQ(FreeFromMeminfo("MemAvailable: lots\n"), std::nullopt);
}

TEST(LinuxMemory, StatusFieldsAndHeadroom) {
  const std::string status = "Name:\tx\nVmPeak:\t  9000 kB\nVmSize:\t  8000 kB\nVmData:\t  300 kB\n";
  EXPECT_EQ(StatusBytes(status, "VmSize"), 8000u * 1024);
  EXPECT_EQ(StatusBytes(status, "VmData"), 300u * 1024);
  EXPECT_EQ(StatusBytes(status, "VmRSS"), std::nullopt);
  EXPECT_EQ(Headroom(1000, 300), 700u);
  EXPECT_EQ(Headroom(300, 1000), 0u);
}

TEST(LinuxMemory, CgroupFilesOfBothVersions) {
  const auto files = CgroupMemoryFiles(
      "12:pids:/a\n"
      "4:memory:/process_api/abc\n"
      "5:cpu,memory:/\n"
      "0::/user.slice/session-2.scope\n"
      "garbage\n");
  ASSERT_EQ(files.size(), 3u);
  EXPECT_EQ(files[0].limit, "/sys/fs/cgroup/memory/process_api/abc/memory.limit_in_bytes");
  EXPECT_EQ(files[0].usage, "/sys/fs/cgroup/memory/process_api/abc/memory.usage_in_bytes");
  EXPECT_EQ(files[0].inactiveKey, "total_inactive_file ");
  EXPECT_EQ(files[1].limit, "/sys/fs/cgroup/memory/memory.limit_in_bytes");
  EXPECT_EQ(files[2].limit, "/sys/fs/cgroup/user.slice/session-2.scope/memory.max");
  EXPECT_EQ(files[2].stat, "/sys/fs/cgroup/user.slice/session-2.scope/memory.stat");
  EXPECT_EQ(files[2].inactiveKey, "inactive_file ");
  EXPECT_TRUE(CgroupMemoryFiles("3:cpuset:/\n1:name=systemd:/\n").empty());
}

TEST(LinuxMemory, CgroupHeadroomCountsReclaimableCacheAsFree) {
  const std::string stat = "anon 100\ninactive_anon 5\ninactive_file 300\nactive_file 7\n";
  EXPECT_EQ(CgroupHeadroom("1000\n", "900\n", stat, "inactive_file "), 400u);
  EXPECT_EQ(CgroupHeadroom("1000\n", "200\n", stat, "inactive_file "), 1000u);
  EXPECT_EQ(CgroupHeadroom("1000\n", "1200\n", "", "inactive_file "), 0u);
  EXPECT_EQ(CgroupHeadroom("max\n", "900\n", stat, "inactive_file "), std::nullopt);
  EXPECT_EQ(CgroupHeadroom("", "", "", "inactive_file "), std::nullopt);
}

TEST(AvailableMemory, NeverMoreThanTheSystemHas) {
  std::ifstream file("/proc/meminfo");
  const std::string meminfo{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  const auto system = FreeFromMeminfo(meminfo);
  ASSERT_TRUE(system.has_value());
  const std::uint64_t available = AvailableMemoryBytes();
  EXPECT_GT(available, 0u);
  // Allow for what others freed in between.
  EXPECT_LE(available, *system + 512 * kMiB);
}

// Runs body in a child process whose address space may grow by `room`
// bytes at most; the body's return value is the child's exit code.
int InLimitedChild(std::uint64_t room, int (*body)()) {
  const pid_t child = fork();
  if (child == 0) {
    std::ifstream file("/proc/self/status");
    const std::string status{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    const auto size = StatusBytes(status, "VmSize");
    if (!size) _exit(90);
    const rlimit limit{*size + room, *size + room};
    if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(91);
    _exit(body());
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

std::string directory;

TEST(AvailableMemory, APictureTooLargeForTheAddressSpaceIsRefusedBeforeDecoding) {
  directory = (std::filesystem::temp_directory_path() /
               ("glintor-memory-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(directory);
  // 2000 x 2000 needs 100 MB while the viewer runs; 100 x 100 needs 250 kB.
  bmp_test::WriteFile(directory + "/large.bmp",
                      bmp_test::MakeBmp(2000, 2000));
  bmp_test::WriteFile(directory + "/small.bmp",
                      bmp_test::MakeBmp(100, 100));
  const int limited = InLimitedChild(64 * kMiB, [] {
    if (AvailableMemoryBytes() > 64 * kMiB) return 10;
    if (LoadSourceImage((directory + "/large.bmp").c_str()) != LoadResult::OutOfMemory) return 11;
    if (scene.source != nullptr) return 12;
    if (LoadSourceImage((directory + "/small.bmp").c_str()) != LoadResult::Loaded) return 13;
    return 0;
  });
  const int unlimited = InLimitedChild(std::uint64_t{1} << 40, [] {
    return LoadSourceImage((directory + "/large.bmp").c_str()) == LoadResult::Loaded ? 0 : 20;
  });
  std::filesystem::remove_all(directory);
  EXPECT_EQ(limited, 0);
  EXPECT_EQ(unlimited, 0);
}

}  // namespace
