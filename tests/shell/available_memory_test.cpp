// The memory check made before a picture is decoded.

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "available_memory.h"

namespace {

TEST(PictureFitsInMemory, NeedsTwentyEightBytesAPixel) {
  constexpr std::uint64_t kTallNarrow = 28 * 100 * 32768;
  const struct {
    std::uint64_t width, height, available;
    bool fits;
  } cases[] = {{100, 100, 280'000, true}, {100, 100, 279'999, false},
               // At the limit, where a square of either side would say otherwise.
               {100, 32768, kTallNarrow, true}, {100, 32768, kTallNarrow - 1, false},
               {32768, 100, kTallNarrow, true}, {32768, 100, kTallNarrow - 1, false},
               // Products that would wrap around 64 bits never fit.
               {std::uint64_t{1} << 40, std::uint64_t{1} << 40,
                std::numeric_limits<std::uint64_t>::max(), false}};
  for (const auto& c : cases) {
    EXPECT_EQ(PictureFitsInMemory(c.width, c.height, c.available), c.fits)
        << c.width << " x " << c.height << " in " << c.available;
  }
}

TEST(LinuxMemory, MeminfoGivesAvailableMemoryPlusFreeSwap) {
  using linux_memory::FreeFromMeminfo;
  EXPECT_EQ(FreeFromMeminfo("MemTotal: 9 kB\nMemFree: 8 kB\nMemAvailable: 5 kB\nSwapFree: 2 kB\n"), 7u * 1024);
  // MemFree is not MemAvailable: without it the system tells nothing.
  EXPECT_EQ(FreeFromMeminfo("MemFree: 5 kB\nSwapFree: 7 kB\n"), std::nullopt);
  EXPECT_EQ(FreeFromMeminfo("MemAvailable: lots\n"), std::nullopt);
}

}  // namespace
