// libFuzzer target: any bytes through the picture loader, once with the
// viewer's limits and once with the smallest side lowered to one pixel, so
// that small inputs reach the decoder too.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "loader_property.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  for (const std::int64_t minSide : {kMinPictureSide, std::int64_t{1}}) {
    const std::string problem = CheckLoaderOn(data, size, minSide);
    if (!problem.empty()) {
      std::fprintf(stderr, "loader broke its promise (smallest side %lld): %s\n",
                   static_cast<long long>(minSide), problem.c_str());
      std::abort();
    }
  }
  return 0;
}
