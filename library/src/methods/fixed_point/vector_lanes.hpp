// The vectors the pricer's kernels compute in: Lanes2 (two doubles, the native width of SSE2 and
// NEON) and Lanes4 (four, AVX2), with what moves them in and out of arrays and the operations the
// vector extensions do not spell as operators. Each kernel is written once as a template over
// the vector type and compiled twice: for Lanes4 with AVX2 and FMA enabled, and for Lanes2 for
// the baseline; wide_lanes() picks the one the processor runs. Only for the kernels' own source
// files: the functions pass vectors by value and are always inlined.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>

#include "methods/fixed_point/normal_distribution.hpp"

// Marks the four-lane instantiation of a kernel. On x86-64 with GCC it is compiled for AVX2 with
// FMA; elsewhere the mark is empty and the two-lane version runs.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define VYR_WIDE_LANES [[gnu::target("arch=x86-64-v3")]]
#define VYR_HAS_WIDE_LANES 1
#else
#define VYR_WIDE_LANES
#define VYR_HAS_WIDE_LANES 0
#endif

namespace vyr::fixed_point {

// Arrays that kernels read by whole vectors are padded to a multiple of the widest.
inline constexpr std::size_t kLanePadding = 4;

constexpr std::size_t whole_lanes(std::size_t n) {
  return (n + kLanePadding - 1) / kLanePadding * kLanePadding;
}

// The number of doubles in V.
template <class V>
inline constexpr std::size_t kWidth = sizeof(V) / sizeof(double);

// Whether this processor runs the four-lane kernels (AVX2 and FMA on x86-64). Decided once.
bool wide_lanes();

template <class V>
[[gnu::always_inline]] inline V load_lanes(const double* p) {
  V v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

template <class V>
[[gnu::always_inline]] inline void store_lanes(double* p, V v) {
  std::memcpy(p, &v, sizeof v);
}

template <class V>
[[gnu::always_inline]] inline double lane_sum(V v) {
  if constexpr (kWidth<V> == 4) {
    return (v[0] + v[1]) + (v[2] + v[3]);
  } else {
    return v[0] + v[1];
  }
}

template <class V>
[[gnu::always_inline]] inline V lane_max(V a, V b) {
  return a > b ? a : b;
}

template <class V>
[[gnu::always_inline]] inline V lane_abs(V v) {
  return v < 0.0 ? -v : v;
}

template <class V>
[[gnu::always_inline]] inline V lane_sqrt(V v) {
  V r;
  for (std::size_t i = 0; i < kWidth<V>; ++i) {
    r[i] = std::sqrt(v[i]);
  }
  return r;
}

// Whether any lane of a comparison result is set.
template <class M>
[[gnu::always_inline]] inline bool any_lane(M mask) {
  bool any = false;
  for (std::size_t i = 0; i < sizeof(M) / sizeof(mask[0]); ++i) {
    any = any || mask[i] != 0;
  }
  return any;
}

}  // namespace vyr::fixed_point
