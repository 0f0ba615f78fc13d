#pragma once

// The widest instructions the renderer's kernels use: what the processor
// has, or less where a test asks for less to compare the kernels.
enum class VectorLevel { Portable, Avx2, Avx512 };

VectorLevel ProcessorVectorLevel();
// The level the kernels use, at most the processor's.
VectorLevel UsedVectorLevel();
// Caps UsedVectorLevel; Avx512 lifts the cap. Not to be called during a frame.
void LimitVectorLevel(VectorLevel level);
