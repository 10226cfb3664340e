// Small dense linear systems: LU factorisation with partial pivoting in a fixed-size buffer, then
// solves with the matrix or its transpose.
#pragma once

#include <array>
#include <cstddef>

#include "methods/fixed_point/fixed_point_settings.hpp"

namespace vyr::fixed_point {

class LinearSystem {
 public:
  static constexpr std::size_t kMaxSize = FixedPointSettings::kMaxCollocationNodes;

  // Factorises the n × n row-major matrix `a`. Returns false (and leaves the system unusable)
  // when a pivot is zero or not finite.
  bool factorise(const double* a, std::size_t n);
  // x ← A⁻¹x and x ← A⁻ᵀx.
  void solve(double* x) const;
  void solve_transposed(double* x) const;

 private:
  std::size_t n_ = 0;
  std::array<double, kMaxSize * kMaxSize> lu_;
  std::array<std::size_t, kMaxSize> pivot_;
};

}  // namespace vyr::fixed_point
