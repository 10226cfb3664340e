// The pricer's vector loops are compiled twice on x86-64, for AVX2 with FMA (four doubles per
// instruction) and for the baseline with SSE2 (two), and the dynamic loader binds each marked
// function to the version the processor runs. (AVX-512 gains nothing on the short loops of the
// default settings.) Elsewhere the mark is empty. Results agree across versions to rounding:
// the AVX2 version contracts multiply-adds and sums in another order.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__ELF__)
#define VYR_VECTOR_CLONES [[gnu::target_clones("arch=x86-64-v3", "default")]]
#else
#define VYR_VECTOR_CLONES
#endif
