// Small dense linear systems: LU factorisation with partial pivoting in fixed-size buffers, then
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
  // P·A = L·U. Rows are stored `stride_` apart (n rounded up to a multiple of 4, the extra
  // columns zero), so that row operations run on whole vectors: U with zeros below the diagonal,
  // the multipliers of L (unit diagonal) apart.
  std::size_t n_ = 0;
  std::size_t stride_ = 0;
  std::array<double, kMaxSize * kMaxSize> upper_;
  std::array<double, kMaxSize * kMaxSize> lower_;
  std::array<double, kMaxSize> inverse_diagonal_;  // 1/U_ii
  std::array<std::size_t, kMaxSize> pivot_;
};

}  // namespace vyr::fixed_point
