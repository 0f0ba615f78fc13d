#pragma once

// The x86-64 vector instructions, for the files whose kernels use them: each
// such function carries its own target attribute, and the program picks the
// kernel at run time, so the rest of the program runs on any x86-64.

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define GLINTOR_X86_VECTORS 1
// GCC 12's AVX-512 header starts some vectors undefined on purpose, then
// warns about them wherever they are inlined.
#if defined(__clang__)
#include <immintrin.h>
#else
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>
#pragma GCC diagnostic pop
#endif
// prefetchw asks for a line ready to be written; processors without it take
// the instruction as a no-op.
#define GLINTOR_AVX2 __attribute__((target("avx2,prfchw")))
#define GLINTOR_AVX512 __attribute__((target("avx512f,avx512bw,prfchw")))
#else
#define GLINTOR_X86_VECTORS 0
#endif
