#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "reciprocal.h"

namespace {

// Every divisor the compositing can meet, at the sums where truncation
// changes: either side of each multiple near 0, near the top of the 32-bit
// range, and at random.
TEST(Reciprocal, DividesExactlyForEveryCountAndBoundarySum) {
  std::mt19937 random(16);
  for (bool squared : {false, true}) {
    const auto table = MakeReciprocalTable(squared);
    for (std::uint64_t count = 1; count < table->size(); ++count) {
      const std::uint64_t divisor = squared ? count * count : count;
      const std::uint64_t top = UINT32_MAX / divisor * divisor;
      const std::uint64_t sums[] = {0, 1, 2, divisor - 1, divisor, divisor + 1, 2 * divisor - 1, top - 1, top,
                                    std::min<std::uint64_t>(top + divisor - 1, UINT32_MAX), UINT32_MAX,
                                    random(), random()};
      for (std::uint64_t sum : sums) {
        if (sum > UINT32_MAX) continue;
        const auto x = static_cast<std::uint32_t>(sum);
        ASSERT_EQ(DivideByReciprocal(x, (*table)[count]), x / divisor) << x << " / " << divisor;
        ASSERT_EQ(DivideByReciprocalPortable(x, (*table)[count]), x / divisor) << x << " / " << divisor;
      }
    }
    // A count of 0 adds nothing, whatever the sum.
    EXPECT_EQ(DivideByReciprocal(UINT32_MAX, (*table)[0]), 0u);
    EXPECT_EQ(DivideByReciprocalPortable(UINT32_MAX, (*table)[0]), 0u);
  }
}

}  // namespace
