#include "vector_level.h"

#include <algorithm>

#include "x86_vectors.h"

namespace {
VectorLevel levelLimit = VectorLevel::Avx512;
}

VectorLevel ProcessorVectorLevel() {
#if GLINTOR_X86_VECTORS
  // The checks include the system's saving of the wider registers. The
  // AVX-512 kernels use 16-bit lanes too (BW, on every such processor
  // since 2017).
  static const VectorLevel level = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw")
                                       ? VectorLevel::Avx512
                                   : __builtin_cpu_supports("avx2")  ? VectorLevel::Avx2
                                                                     : VectorLevel::Portable;
  return level;
#else
  return VectorLevel::Portable;
#endif
}

VectorLevel UsedVectorLevel() { return std::min(ProcessorVectorLevel(), levelLimit); }

void LimitVectorLevel(VectorLevel level) { levelLimit = level; }
