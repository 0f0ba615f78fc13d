#pragma once

#include <array>
#include <cstdint>
#include <memory>

// Truncating division of any unsigned 32-bit x by any divisor 1 <= d < 2^32
// without a divide instruction: with r = floor((2^64 - 1) / d), which is
// 2^64 / d - e for some 0 < e <= 1,
//   floor((x + 1) * r / 2^64) = floor(x / d).
// Writing x = q * d + s, (x + 1) * r / 2^64 = q + (s + 1) / d - (x + 1) * e / 2^64,
// and the last term, at most 2^-32, is positive and smaller than 1 / d.
// r = 0 gives 0 for every x, which is what a count of 0 asks for.
inline std::uint64_t ReciprocalOf(std::uint64_t divisor) { return UINT64_MAX / divisor; }

// Standard C++ only: the high half from two 32 x 32-bit products, whose sum
// stays below 2^64.
inline std::uint32_t DivideByReciprocalPortable(std::uint32_t x, std::uint64_t reciprocal) {
  const std::uint64_t dividend = std::uint64_t{x} + 1;
  const std::uint64_t low = dividend * (reciprocal & 0xFFFFFFFFu);
  const std::uint64_t high = dividend * (reciprocal >> 32);
  return static_cast<std::uint32_t>((high + (low >> 32)) >> 32);
}

inline std::uint32_t DivideByReciprocal(std::uint32_t x, std::uint64_t reciprocal) {
#ifdef __SIZEOF_INT128__
  // One multiply instruction where the compiler has 128-bit integers.
  return static_cast<std::uint32_t>(
      (static_cast<unsigned __int128>(std::uint64_t{x} + 1) * reciprocal) >> 64);
#else
  return DivideByReciprocalPortable(x, reciprocal);
#endif
}

// The reciprocal of the compositing divisor for every count: the count for
// Uniform, its square for Weighted; 0 for a count of 0.
using ReciprocalTable = std::array<std::uint64_t, 65536>;

inline std::unique_ptr<const ReciprocalTable> MakeReciprocalTable(bool squared) {
  auto table = std::make_unique<ReciprocalTable>();
  (*table)[0] = 0;
  for (std::uint64_t count = 1; count < table->size(); ++count)
    (*table)[count] = ReciprocalOf(squared ? count * count : count);
  return table;
}
