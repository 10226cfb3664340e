// Moving Lanes (four doubles, see normal_distribution.hpp) in and out of arrays, and the few
// operations on them that the vector extensions do not spell as operators. Only for the kernels'
// own source files: the functions pass vectors by value and are always inlined.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstring>

#include "methods/fixed_point/normal_distribution.hpp"

namespace vyr::fixed_point {

inline constexpr std::size_t kLaneCount = 4;

// n rounded up to whole Lanes.
constexpr std::size_t whole_lanes(std::size_t n) {
  return (n + kLaneCount - 1) / kLaneCount * kLaneCount;
}

[[gnu::always_inline]] inline Lanes splat(double x) {
  return Lanes{} + x;
}

[[gnu::always_inline]] inline Lanes load_lanes(const double* p) {
  Lanes v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

[[gnu::always_inline]] inline void store_lanes(double* p, Lanes v) {
  std::memcpy(p, &v, sizeof v);
}

[[gnu::always_inline]] inline double lane_sum(Lanes v) {
  return (v[0] + v[1]) + (v[2] + v[3]);
}

[[gnu::always_inline]] inline Lanes lane_max(Lanes a, Lanes b) {
  return a > b ? a : b;
}

[[gnu::always_inline]] inline Lanes lane_abs(Lanes v) {
  return v < 0.0 ? -v : v;
}

[[gnu::always_inline]] inline Lanes lane_sqrt(Lanes v) {
  Lanes r;
  for (std::size_t i = 0; i < kLaneCount; ++i) {
    r[i] = std::sqrt(v[i]);
  }
  return r;
}

}  // namespace vyr::fixed_point
