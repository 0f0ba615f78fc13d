#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <random>

#include "quotient.h"
#include "scene_state.h"

namespace {

// Every divisor the compositing can meet, most of them only on pictures far
// larger than the frame tests', at the sums where truncation changes: either
// side of the first multiples, of the last multiples below 2^32, and at random.
TEST(Quotient, DividesExactlyForEveryCountAndBoundarySum) {
  std::mt19937 random(16);
  for (bool squared : {false, true}) {
    const auto table = std::make_unique<InverseTable>();
    FillInverseTable(*table, squared);
    EXPECT_EQ(QuotientByInverse(UINT32_MAX, (*table)[0]), 0u);  // a count of 0 adds nothing
    for (std::uint64_t count = 1; count < table->size(); ++count) {
      const std::uint64_t divisor = squared ? count * count : count, top = UINT32_MAX / divisor * divisor;
      for (std::uint64_t sum : {std::uint64_t{0}, std::uint64_t{1}, divisor - 1, divisor, divisor + 1, top - 1, top,
                                std::min<std::uint64_t>(top + divisor - 1, UINT32_MAX), std::uint64_t{random()}}) {
        if (sum > UINT32_MAX) continue;
        ASSERT_EQ(QuotientByInverse(static_cast<std::uint32_t>(sum), (*table)[count]), sum / divisor)
            << sum << " / " << divisor;
      }
    }
  }
}

// The shaped compositing's divisions by 100 and 255, for every dividend
// they can meet.
TEST(Quotient, DividesByTheShapingConstantsOverTheirWholeRange) {
  for (const ConstantDivisor& by : {kByHundred, kByTwoFiftyFive}) {
    for (std::uint32_t x = 0; x <= by.limit; ++x) {
      if (DivideByConstant(x, by) != x / by.divisor) FAIL() << x << " / " << by.divisor;
    }
  }
}

// The single-precision shortcut for quotients up to 255, for every strength
// and tint.
TEST(Quotient, ShapesSmallQuotientsExactlyInSinglePrecision) {
  for (std::uint32_t strength = 0; strength <= 400; ++strength) {
    for (std::uint32_t quotient = 0; quotient <= 255; ++quotient) {
      const std::uint32_t light = (quotient * strength + 50) / 100;
      for (std::uint32_t tint = 0; tint <= 255; ++tint) {
        if (ShapedLightOfSmallQuotient(quotient, strength, tint) != (light * tint + 127) / 255)
          FAIL() << quotient << " " << strength << " " << tint;
      }
    }
  }
}

// The screen blend's division for every product of two bytes, and its ends.
TEST(Screen, DividesEveryByteProductAndMeetsItsEnds) {
  for (std::uint32_t x = 0; x <= 255 * 255; ++x) {
    if (ScreenByteProduct(x) != (x + 127) / 255) FAIL() << x;
  }
  struct Case {
    std::uint32_t source, added, screened;
  };
  for (const Case c : {Case{0, 0, 0}, Case{0, 77, 77}, Case{0, 255, 255}, Case{0, 4000, 255}, Case{255, 0, 255},
                       Case{255, 255, 255}, Case{90, 0, 90}, Case{90, 255, 255}, Case{90, 65535, 255},
                       Case{100, 100, 161}, Case{200, 30, 206}}) {
    EXPECT_EQ(Screen(c.source, c.added), c.screened) << c.source << " screen " << c.added;
  }
}

// The soft threshold's ramp at its ends: d = luma - threshold + softness at
// 0, 1, 2 S - 1 and 2 S; S = 0, 1 and 255; a ramp that ends above 255.
TEST(Softness, RampsOverTwiceTheSoftness) {
  struct Case {
    unsigned luma, threshold, softness, weight;
  };
  for (const Case c : {Case{99, 100, 0, 0}, Case{100, 100, 0, 255}, Case{99, 100, 1, 0}, Case{100, 100, 1, 128},
                       Case{101, 100, 1, 255}, Case{112, 160, 48, 0}, Case{113, 160, 48, 3},
                       Case{207, 160, 48, 252}, Case{208, 160, 48, 255}, Case{0, 0, 255, 128},
                       Case{255, 0, 255, 255}, Case{253, 0, 255, 254}, Case{255, 240, 48, 167},
                       Case{0, 255, 255, 0}, Case{255, 255, 255, 128}}) {
    EXPECT_EQ(EmissionWeight(c.luma, c.threshold, c.softness), c.weight)
        << "luma " << c.luma << " threshold " << c.threshold << " softness " << c.softness;
  }
}

}  // namespace
