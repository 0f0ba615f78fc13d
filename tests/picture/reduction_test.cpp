// The area-averaging reduction, byte for byte against the definition.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "reduction.h"

namespace {

// Output pixel (i, j) straight from the definition: every source pixel that
// overlaps it, x in 1/w and y in 1/h of a source pixel, weight overlapX·overlapY.
std::uint8_t Expected(const std::vector<std::uint8_t>& from, std::uint64_t W, std::uint64_t H,
                      std::uint64_t w, std::uint64_t h, std::uint64_t i, std::uint64_t j, int channel) {
  std::uint64_t sum = 0;
  for (std::uint64_t r = j * H / h; r * h < (j + 1) * H; ++r) {
    const std::uint64_t overlapY = std::min((r + 1) * h, (j + 1) * H) - std::max(r * h, j * H);
    for (std::uint64_t c = i * W / w; c * w < (i + 1) * W; ++c) {
      const std::uint64_t overlapX = std::min((c + 1) * w, (i + 1) * W) - std::max(c * w, i * W);
      sum += overlapX * overlapY * from[(r * W + c) * 3 + static_cast<std::uint64_t>(channel)];
    }
  }
  return static_cast<std::uint8_t>((sum + W * H / 2) / (W * H));
}

TEST(ReducePicture, MatchesTheAreaMeanOfEveryPixel) {
  struct Sides {
    std::uint32_t fromWidth, fromHeight, toWidth, toHeight;
  };
  // Factors about 1/1.5, 1/2.7, 1/7.3 and 1/40, odd sides, row counts above
  // and below the four threads' and not divisible by four, one pixel wide or
  // high, one side kept, the same sides, and small totals whose means often
  // fall on halves (14x7: a double reciprocal of 98 falls short there), and
  // a height past 16-bit weights.
  const Sides cases[] = {{301, 203, 201, 135}, {270, 127, 100, 47},  {730, 219, 100, 30},
                         {400, 403, 10, 10},   {97, 61, 1, 13},      {97, 61, 13, 1},
                         {61, 17, 29, 17},     {9, 7, 5, 3},         {53, 29, 53, 29},
                         {2, 1, 1, 1},         {3, 2, 2, 1},         {7, 3, 5, 2},
                         {12, 10, 8, 6},       {14, 7, 7, 7},        {2, 70001, 1, 65537}};
  std::mt19937 random(11);
  for (const Sides& s : cases) {
    SCOPED_TRACE(testing::Message() << s.fromWidth << "x" << s.fromHeight << " to " << s.toWidth
                                    << "x" << s.toHeight);
    std::vector<std::uint8_t> from(std::size_t{3} * s.fromWidth * s.fromHeight);
    for (std::uint8_t& byte : from) byte = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> to(std::size_t{3} * s.toWidth * s.toHeight, 0x5a);
    ASSERT_TRUE(ReducePicture(from.data(), s.fromWidth, s.fromHeight, to.data(), s.toWidth, s.toHeight));
    int wrong = 0;
    for (std::uint32_t j = 0; j < s.toHeight; ++j) {
      for (std::uint32_t i = 0; i < s.toWidth; ++i) {
        for (int channel = 0; channel < 3; ++channel) {
          const std::uint8_t got = to[(std::size_t{j} * s.toWidth + i) * 3 + static_cast<std::size_t>(channel)];
          const std::uint8_t expected =
              Expected(from, s.fromWidth, s.fromHeight, s.toWidth, s.toHeight, i, j, channel);
          if (got != expected && ++wrong <= 3) {
            ADD_FAILURE() << "pixel " << i << "," << j << " channel " << channel << ": "
                          << int{got} << " instead of " << int{expected};
          }
        }
      }
    }
    EXPECT_EQ(wrong, 0);
    if (s.toWidth == s.fromWidth && s.toHeight == s.fromHeight) {
      EXPECT_EQ(to, from);
    }
  }
  // Sides it does not reduce between are refused, the output untouched.
  std::vector<std::uint8_t> from(3 * 4 * 4, 7), to(3 * 4 * 5, 0);
  EXPECT_FALSE(ReducePicture(from.data(), 4, 4, to.data(), 4, 5));
  EXPECT_FALSE(ReducePicture(from.data(), 4, 4, to.data(), 0, 2));
  EXPECT_EQ(to, std::vector<std::uint8_t>(to.size(), 0));
}

}  // namespace
