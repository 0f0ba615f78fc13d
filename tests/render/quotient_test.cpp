#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>

#include "quotient.h"

namespace {

// Every divisor the compositing can meet, at the sums where truncation
// changes: either side of the first multiples, of the last multiples below
// 2^32, and at random.
TEST(Quotient, DividesExactlyForEveryCountAndBoundarySum) {
  std::mt19937 random(16);
  for (bool squared : {false, true}) {
    const auto table = MakeInverseTable(squared);
    for (std::uint64_t count = 1; count < table->size(); ++count) {
      const std::uint64_t divisor = squared ? count * count : count;
      const std::uint64_t top = UINT32_MAX / divisor * divisor;
      const std::uint64_t sums[] = {0, 1, 2, divisor - 1, divisor, divisor + 1, 2 * divisor - 1, top - 1, top,
                                    std::min<std::uint64_t>(top + divisor - 1, UINT32_MAX), UINT32_MAX,
                                    random(), random()};
      for (std::uint64_t sum : sums) {
        if (sum > UINT32_MAX) continue;
        const auto x = static_cast<std::uint32_t>(sum);
        ASSERT_EQ(QuotientByInverse(x, (*table)[count]), x / divisor) << x << " / " << divisor;
      }
    }
    // A count of 0 adds nothing, whatever the sum.
    EXPECT_EQ(QuotientByInverse(UINT32_MAX, (*table)[0]), 0u);
  }
}

}  // namespace
