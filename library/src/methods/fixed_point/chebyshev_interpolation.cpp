#include "methods/fixed_point/chebyshev_interpolation.hpp"

#include <array>
#include <cmath>
#include <mutex>
#include <numbers>

namespace vyr::fixed_point {

namespace {
constexpr std::size_t kMax = ChebyshevInterpolation::kMaxDegree;

// Σ_{m<n} (m + 1) and Σ_{m<n} (m + 1)²: where the nodes and the matrix of degree n start.
constexpr std::size_t node_offset(std::size_t n) {
  return n * (n + 1) / 2;
}
constexpr std::size_t matrix_offset(std::size_t n) {
  return n * (n + 1) * (2 * n + 1) / 6;
}
}  // namespace

struct ChebyshevTables {
  std::array<std::once_flag, kMax + 1> built;
  std::array<ChebyshevInterpolation, kMax + 1> interpolations;
  std::array<double, node_offset(kMax + 1)> nodes;
  std::array<double, matrix_offset(kMax + 1)> matrices;

  void build(std::size_t n) {
    double* z = nodes.data() + node_offset(n);
    double* m = matrices.data() + matrix_offset(n);
    const double nd = static_cast<double>(n);
    for (std::size_t j = 0; j <= n; ++j) {
      z[j] = -std::cos(std::numbers::pi * static_cast<double>(j) / nd);
    }
    z[0] = -1.0;
    z[n] = 1.0;
    if (n % 2 == 0) {
      z[n / 2] = 0.0;
    }
    // Discrete cosine transform of the first kind: with z_j = cos((n − j)π/n),
    // c_k = (2/n)·Σ_j'' f_j·cos(k(n − j)π/n), the end terms (j = 0, n) and the end coefficients
    // (k = 0, n) halved.
    for (std::size_t k = 0; k <= n; ++k) {
      for (std::size_t j = 0; j <= n; ++j) {
        const double end_j = (j == 0 || j == n) ? 0.5 : 1.0;
        const double end_k = (k == 0 || k == n) ? 0.5 : 1.0;
        const std::size_t angle = (k * (n - j)) % (2 * n);
        m[j * (n + 1) + k] =
            2.0 / nd * end_j * end_k * std::cos(std::numbers::pi * static_cast<double>(angle) / nd);
      }
    }
    interpolations[n].degree_ = n;
    interpolations[n].nodes_ = z;
    interpolations[n].matrix_ = m;
  }
};

const ChebyshevInterpolation& ChebyshevInterpolation::of_degree(std::size_t n) {
  static ChebyshevTables tables;
  std::call_once(tables.built[n], [n] { tables.build(n); });
  return tables.interpolations[n];
}

void ChebyshevInterpolation::coefficients(const double* values, double* coefficients) const {
  const std::size_t n = degree_;
  for (std::size_t k = 0; k <= n; ++k) {
    double sum = 0.0;
    for (std::size_t j = 0; j <= n; ++j) {
      sum += matrix_[j * (n + 1) + k] * values[j];
    }
    coefficients[k] = sum;
  }
}

}  // namespace vyr::fixed_point
