#pragma once

#include <array>
#include <cstdint>
#include <memory>

// Truncating division of any unsigned 32-bit sum x by any divisor
// 1 <= d < 2^32 without a divide instruction:
//   floor(x / d) = trunc((x + 0.5) * fl(1 / d)), in double precision.
// Writing x = q * d + s with 0 <= s < d, (x + 0.5) / d lies in
// [q + 0.5 / d, q + 1 - 0.5 / d]; the two roundings (of 1 / d and of the
// product) move it by a relative 2^-52 at most, that is by less than
// 2^32 / d * 2^-52 < 0.5 / d, so it stays strictly between q and q + 1.
// An inverse of 0 gives 0, which is what a count of 0 asks for.
inline std::uint32_t QuotientByInverse(std::uint32_t x, double inverse) {
  return static_cast<std::uint32_t>((static_cast<double>(x) + 0.5) * inverse);
}

// The inverse of the compositing divisor for every count: the count in
// Uniform mode, its square in Weighted mode; 0 for a count of 0.
using InverseTable = std::array<double, 65536>;

inline std::unique_ptr<const InverseTable> MakeInverseTable(bool squared) {
  auto table = std::make_unique<InverseTable>();
  (*table)[0] = 0.0;
  for (std::size_t count = 1; count < table->size(); ++count) {
    const auto n = static_cast<double>(count);
    (*table)[count] = 1.0 / (squared ? n * n : n);
  }
  return table;
}
