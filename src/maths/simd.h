#pragma once

// The block kernels' common ground: built for several instruction sets with
// the best chosen when the program starts, and four-lane values whose every
// operation acts on each lane alone, so the results do not depend on how wide
// the processor's registers are. Every set gives the same bits: no fused
// multiply-add anywhere (-ffp-contract=off), the same operations in the same
// order.
//
// clang 14 does not clone a function its header declared plainly: it builds
// the first target's code alone, with no dispatch, which faults on processors
// without AVX-512. There the portable code is all there is. An attribute
// cannot be named any other way than by a macro.
#if defined(__clang__)
#define VANTEL_MULTIVERSION
#else
#define VANTEL_MULTIVERSION [[gnu::target_clones("avx512f", "avx2", "default")]]
#endif

namespace vantel::maths {

using Vec4 = double __attribute__((vector_size(32)));
using Mask4 = long __attribute__((vector_size(32)));
using Int4 = int __attribute__((vector_size(16)));
using Short4 = short __attribute__((vector_size(8)));

}  // namespace vantel::maths
