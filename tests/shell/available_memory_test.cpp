// The memory check made before a picture is decoded.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "available_memory.h"

namespace {

TEST(PictureFitsInMemory, NeedsTwentyEightBytesAPixel) {
  EXPECT_TRUE(PictureFitsInMemory(100, 100, 280'000));
  EXPECT_FALSE(PictureFitsInMemory(100, 100, 279'999));
  // Products that would wrap around 64 bits never fit.
  EXPECT_FALSE(PictureFitsInMemory(std::uint64_t{1} << 40, std::uint64_t{1} << 40,
                                   std::numeric_limits<std::uint64_t>::max()));
}

TEST(LinuxMemory, MeminfoGivesAvailableMemoryPlusFreeSwap) {
  using linux_memory::FreeFromMeminfo;
  EXPECT_EQ(FreeFromMeminfo("MemTotal: 9 kB\nMemFree: 8 kB\nMemAvailable: 5 kB\nSwapFree: 2 kB\n"), 7u * 1024);
  // MemFree is not MemAvailable: without it the system tells nothing.
  EXPECT_EQ(FreeFromMeminfo("MemFree: 5 kB\nSwapFree: 7 kB\n"), std::nullopt);
  EXPECT_EQ(FreeFromMeminfo("MemAvailable: lots\n"), std::nullopt);
}

}  // namespace
