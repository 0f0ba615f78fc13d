#pragma once

#include <array>
#include <cstdint>
#include <memory>

// Truncating division of any unsigned 32-bit value by a divisor below 2^32,
// without a divide instruction: with M = floor((2^64 - 1) / d) + 1,
// floor(x * M / 2^64) equals floor(x / d) for every x < 2^32, because M
// exceeds 2^64 / d by less than 1, which moves x * M / 2^64 up by less than
// x / 2^64 < 1 / d. d = 1 would need M = 2^64 and is left to the caller.
inline std::uint64_t ReciprocalOf(std::uint64_t divisor) { return UINT64_MAX / divisor + 1; }

inline std::uint32_t DivideByReciprocal(std::uint32_t x, std::uint64_t reciprocal) {
  // The high half of the 96-bit product x * reciprocal, from two 32 x 32-bit
  // products; their sum stays below 2^64.
  const std::uint64_t low = x * (reciprocal & 0xFFFFFFFFu);
  const std::uint64_t high = x * (reciprocal >> 32);
  return static_cast<std::uint32_t>((high + (low >> 32)) >> 32);
}

// Reciprocals of the compositing divisor for every count: count for Uniform,
// count squared for Weighted. Counts 0 and 1 hold 0; the caller treats them.
using ReciprocalTable = std::array<std::uint64_t, 65536>;

inline std::unique_ptr<const ReciprocalTable> MakeReciprocalTable(bool squared) {
  auto table = std::make_unique<ReciprocalTable>();
  (*table)[0] = (*table)[1] = 0;
  for (std::uint64_t count = 2; count < table->size(); ++count)
    (*table)[count] = ReciprocalOf(squared ? count * count : count);
  return table;
}
