#include "reduction.h"
#include <vector>
// TEMPORARY STUB (plain definition), replaced by the real one
void ReducePicture(const std::uint8_t* from, std::uint32_t W, std::uint32_t H, std::uint8_t* to, std::uint32_t w, std::uint32_t h) {
  for (std::uint32_t j = 0; j < h; ++j) for (std::uint32_t i = 0; i < w; ++i) for (int ch = 0; ch < 3; ++ch) {
    std::uint64_t sum = 0;
    for (std::uint32_t r = std::uint32_t(std::uint64_t(j) * H / h); r < H && std::uint64_t(r) * h < std::uint64_t(j + 1) * H; ++r) {
      const std::uint64_t y0 = std::max<std::uint64_t>(std::uint64_t(r) * h, std::uint64_t(j) * H), y1 = std::min<std::uint64_t>(std::uint64_t(r + 1) * h, std::uint64_t(j + 1) * H);
      for (std::uint32_t c = std::uint32_t(std::uint64_t(i) * W / w); c < W && std::uint64_t(c) * w < std::uint64_t(i + 1) * W; ++c) {
        const std::uint64_t x0 = std::max<std::uint64_t>(std::uint64_t(c) * w, std::uint64_t(i) * W), x1 = std::min<std::uint64_t>(std::uint64_t(c + 1) * w, std::uint64_t(i + 1) * W);
        sum += (x1 - x0) * (y1 - y0) * from[(std::size_t(r) * W + c) * 3 + ch];
      }
    }
    to[(std::size_t(j) * w + i) * 3 + ch] = std::uint8_t((sum + std::uint64_t(W) * H / 2) / (std::uint64_t(W) * H));
  }
}
