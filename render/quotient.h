#pragma once

#include <array>
#include <cmath>
#include <cstdint>

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

inline void FillInverseTable(InverseTable& table, bool squared) {
  table[0] = 0.0;
  for (std::size_t count = 1; count < table.size(); ++count) {
    const auto n = static_cast<double>(count);
    table[count] = 1.0 / (squared ? n * n : n);
  }
}

// Truncating division by a constant d as floor(x * multiplier / 2^shift),
// multiplier = ceil(2^shift / d), for the vector kernels: exact for every x
// up to `limit`, the largest the compositing meets there.
struct ConstantDivisor {
  std::uint32_t divisor;
  std::uint32_t multiplier;
  int shift;
  std::uint32_t limit;
};
// For the strength, (q k + 50) / 100 with q < 2^16 and k <= 400, and for
// the tint, (a t + 127) / 255 with a < 2^16 and t <= 255.
inline constexpr ConstantDivisor kByHundred{100, 0x51EB851F, 37, 65535 * 400 + 50};
inline constexpr ConstantDivisor kByTwoFiftyFive{255, 0x80808081, 39, 65535 * 255 + 127};

inline std::uint32_t DivideByConstant(std::uint32_t x, const ConstantDivisor& by) {
  return static_cast<std::uint32_t>((std::uint64_t{x} * by.multiplier) >> by.shift);
}

// The strength and tint of a quotient q <= 255 in single precision, as the
// vector kernels work them out: min((q k + 50) / 100, 65535) is at most
// 1020 then, and every sum below is exact; each division is
// trunc((x + 0.5) * fl(1 / d)), exact for x + 0.5 < 2^22 by the argument
// above with single precision's 2^-24.
inline std::uint32_t ShapedLightOfSmallQuotient(std::uint32_t quotient, std::uint32_t strength, std::uint32_t tint) {
  const float light = std::trunc((static_cast<float>(quotient) * static_cast<float>(strength) + 50.5f) * (1.0f / 100));
  return static_cast<std::uint32_t>((light * static_cast<float>(tint) + 127.5f) * (1.0f / 255));
}

// The screen blend of a source byte s and the light added to it: with
// a = min(added, 255), s + a - (s a + 127) / 255, never above 255. The
// division is the one for a product of two bytes, x = s a <= 255 * 255:
// (x + 127) / 255 = (t + (t >> 8)) >> 8 with t = x + 128, which the vector
// kernels work out in 16-bit lanes.
inline std::uint32_t ScreenByteProduct(std::uint32_t x) {
  const std::uint32_t t = x + 128;
  return (t + (t >> 8)) >> 8;
}
inline std::uint32_t Screen(std::uint32_t source, std::uint32_t added) {
  const std::uint32_t a = added < 255 ? added : 255;
  return source + a - ScreenByteProduct(source * a);
}
