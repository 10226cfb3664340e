// Polynomial interpolation on [−1, 1] through the n + 1 Chebyshev–Lobatto points
// z_j = −cos(jπ/n), j = 0..n (ascending, both ends included), held as coefficients of the
// Chebyshev polynomials T_0..T_n.
#pragma once

#include <cstddef>

#include "methods/fixed_point/fixed_point_settings.hpp"

namespace vyr::fixed_point {

class ChebyshevInterpolation {
 public:
  static constexpr std::size_t kMaxDegree = FixedPointSettings::kMaxCollocationNodes;

  // The tables of degree n in [1, kMaxDegree], built on first use and kept for the life of the
  // process.
  static const ChebyshevInterpolation& of_degree(std::size_t n);

  std::size_t degree() const { return degree_; }
  double node(std::size_t j) const { return nodes_[j]; }

  // c_k = Σ_j M_kj·f_j: the coefficients of the interpolant of the values f_0..f_n at the nodes.
  double coefficient_weight(std::size_t k, std::size_t j) const {
    return matrix_[j * (degree_ + 1) + k];
  }
  // M_0j..M_nj, contiguous: how every coefficient moves with the value at node j.
  const double* node_column(std::size_t j) const { return matrix_ + j * (degree_ + 1); }
  void coefficients(const double* values, double* coefficients) const;

 private:
  friend struct ChebyshevTables;
  std::size_t degree_ = 0;
  const double* nodes_ = nullptr;
  const double* matrix_ = nullptr;  // (n + 1) × (n + 1) by columns: M_kj at j·(n + 1) + k
};

// Σ_k c_k·T_k(z) for k = 0..degree by Clenshaw's recurrence, for a double or Lanes z. Each step
// adds c_k − b₂ before the product, so that only one multiply-add lies on the dependency chain.
template <class T>
[[gnu::always_inline]] inline T chebyshev_sum(const double* coefficients, std::size_t degree, T z) {
  const T two_z = z + z;
  T b1{};
  T b2{};
  for (std::size_t k = degree; k >= 1; --k) {
    const T b0 = two_z * b1 + (coefficients[k] - b2);
    b2 = b1;
    b1 = b0;
  }
  return z * b1 + (coefficients[0] - b2);
}

}  // namespace vyr::fixed_point
