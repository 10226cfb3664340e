#include "methods/fixed_point/linear_system.hpp"

#include <cmath>
#include <utility>

namespace vyr::fixed_point {

bool LinearSystem::factorise(const double* a, std::size_t n) {
  n_ = n;
  for (std::size_t i = 0; i < n * n; ++i) {
    lu_[i] = a[i];
  }
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t best = c;
    for (std::size_t i = c + 1; i < n; ++i) {
      if (std::fabs(lu_[i * n + c]) > std::fabs(lu_[best * n + c])) {
        best = i;
      }
    }
    pivot_[c] = best;
    if (best != c) {
      for (std::size_t k = 0; k < n; ++k) {
        std::swap(lu_[c * n + k], lu_[best * n + k]);
      }
    }
    const double p = lu_[c * n + c];
    if (!(std::fabs(p) > 0.0) || !std::isfinite(p)) {
      return false;
    }
    for (std::size_t i = c + 1; i < n; ++i) {
      const double f = lu_[i * n + c] / p;
      lu_[i * n + c] = f;
      for (std::size_t k = c + 1; k < n; ++k) {
        lu_[i * n + k] -= f * lu_[c * n + k];
      }
    }
  }
  return true;
}

// P·A = L·U with unit lower L: A⁻¹x = U⁻¹L⁻¹(P·x).
void LinearSystem::solve(double* x) const {
  const std::size_t n = n_;
  for (std::size_t c = 0; c < n; ++c) {
    std::swap(x[c], x[pivot_[c]]);
  }
  for (std::size_t i = 1; i < n; ++i) {
    double s = x[i];
    for (std::size_t k = 0; k < i; ++k) {
      s -= lu_[i * n + k] * x[k];
    }
    x[i] = s;
  }
  for (std::size_t i = n; i-- > 0;) {
    double s = x[i];
    for (std::size_t k = i + 1; k < n; ++k) {
      s -= lu_[i * n + k] * x[k];
    }
    x[i] = s / lu_[i * n + i];
  }
}

// A⁻ᵀx = Pᵀ·L⁻ᵀU⁻ᵀx.
void LinearSystem::solve_transposed(double* x) const {
  const std::size_t n = n_;
  for (std::size_t i = 0; i < n; ++i) {
    double s = x[i];
    for (std::size_t k = 0; k < i; ++k) {
      s -= lu_[k * n + i] * x[k];
    }
    x[i] = s / lu_[i * n + i];
  }
  for (std::size_t i = n; i-- > 0;) {
    double s = x[i];
    for (std::size_t k = i + 1; k < n; ++k) {
      s -= lu_[k * n + i] * x[k];
    }
    x[i] = s;
  }
  for (std::size_t c = n; c-- > 0;) {
    std::swap(x[c], x[pivot_[c]]);
  }
}

}  // namespace vyr::fixed_point
