#include "methods/fixed_point/linear_system.hpp"

#include <algorithm>
#include <cmath>
#include <utility>

#include "methods/fixed_point/vector_lanes.hpp"

namespace vyr::fixed_point {

bool LinearSystem::factorise(const double* a, std::size_t n) {
  n_ = n;
  stride_ = whole_lanes(n);
  const std::size_t stride = stride_;
  for (std::size_t i = 0; i < n; ++i) {
    double* row = upper_.data() + i * stride;
    for (std::size_t k = 0; k < stride; ++k) {
      row[k] = k < n ? a[i * n + k] : 0.0;
    }
  }
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t best = c;
    for (std::size_t i = c + 1; i < n; ++i) {
      if (std::fabs(upper_[i * stride + c]) > std::fabs(upper_[best * stride + c])) {
        best = i;
      }
    }
    pivot_[c] = best;
    if (best != c) {
      std::swap_ranges(upper_.begin() + c * stride, upper_.begin() + (c + 1) * stride,
                       upper_.begin() + best * stride);
      std::swap_ranges(lower_.begin() + c * stride, lower_.begin() + c * stride + c,
                       lower_.begin() + best * stride);
    }
    const double p = upper_[c * stride + c];
    if (!(std::fabs(p) > 0.0) || !std::isfinite(p)) {
      return false;
    }
    const double inverse = 1.0 / p;
    inverse_diagonal_[c] = inverse;
    // Columns before c are zero in row c, so whole blocks of four can be updated.
    const std::size_t first = c / kLanePadding * kLanePadding;
    const double* pivot_row = upper_.data() + c * stride;
    for (std::size_t i = c + 1; i < n; ++i) {
      double* row = upper_.data() + i * stride;
      const double f = row[c] * inverse;
      lower_[i * stride + c] = f;
#pragma omp simd
      for (std::size_t k = first; k < stride; ++k) {
        row[k] -= f * pivot_row[k];
      }
      row[c] = 0.0;
    }
  }
  return true;
}

// A⁻¹x = U⁻¹L⁻¹(P·x), by rows.
void LinearSystem::solve(double* x) const {
  const std::size_t n = n_;
  const std::size_t stride = stride_;
  for (std::size_t c = 0; c < n; ++c) {
    std::swap(x[c], x[pivot_[c]]);
  }
  for (std::size_t i = 1; i < n; ++i) {
    const double* row = lower_.data() + i * stride;
    double s = x[i];
    for (std::size_t k = 0; k < i; ++k) {
      s -= row[k] * x[k];
    }
    x[i] = s;
  }
  for (std::size_t i = n; i-- > 0;) {
    const double* row = upper_.data() + i * stride;
    double s = x[i];
    for (std::size_t k = i + 1; k < n; ++k) {
      s -= row[k] * x[k];
    }
    x[i] = s * inverse_diagonal_[i];
  }
}

// A⁻ᵀx = Pᵀ·L⁻ᵀU⁻ᵀx, by columns of the transposes (rows of U and L).
void LinearSystem::solve_transposed(double* x) const {
  const std::size_t n = n_;
  const std::size_t stride = stride_;
  for (std::size_t k = 0; k < n; ++k) {
    const double y = x[k] * inverse_diagonal_[k];
    x[k] = y;
    const double* row = upper_.data() + k * stride;
    for (std::size_t i = k + 1; i < n; ++i) {
      x[i] -= row[i] * y;
    }
  }
  for (std::size_t k = n; k-- > 1;) {
    const double z = x[k];
    const double* row = lower_.data() + k * stride;
    for (std::size_t i = 0; i < k; ++i) {
      x[i] -= row[i] * z;
    }
  }
  for (std::size_t c = n; c-- > 0;) {
    std::swap(x[c], x[pivot_[c]]);
  }
}

}  // namespace vyr::fixed_point
