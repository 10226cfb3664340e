#include "methods/finite_difference/fdm_process.hpp"

namespace vyr {

namespace {

// Rows 1 … N−2 from the spacings and the transform's S, dS/dx and d²S/dx² at the nodes. Plain
// arrays in, plain arrays out, so that the loop vectorises.
void fill_interior_rows(std::size_t n, const double* __restrict hm, const double* __restrict hp,
                        const double* __restrict s, const double* __restrict s1,
                        const double* __restrict s2, double r, double q, double sigma,
                        double* __restrict lo, double* __restrict di, double* __restrict up) {
  const double half_variance = sigma * sigma / 2.0;
  const double drift = r - q;
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double h_minus = hm[i];
    const double h_plus = hp[i];
    const double s_sq = s[i] * s[i];
    // Convection and diffusion coefficients in x.
    const double a = drift * s[i] / s1[i] - half_variance * s_sq * s2[i] / (s1[i] * s1[i] * s1[i]);
    const double b = half_variance * s_sq / (s1[i] * s1[i]);
    const double e = h_minus * h_plus * (h_minus + h_plus);
    lo[i] = -a * (h_plus * h_plus) / e + 2.0 * b * h_plus / e;
    di[i] = a * (h_plus * h_plus - h_minus * h_minus) / e - 2.0 * b * (h_minus + h_plus) / e - r;
    up[i] = a * (h_minus * h_minus) / e + 2.0 * b * h_minus / e;
  }
}

}  // namespace

TridiagonalOperator FdmProcess::build_operator(const Grid& grid, std::span<double> storage) const {
  const std::size_t n = grid.size();
  TridiagonalOperator op(n, storage);
  fill_interior_rows(n, grid.h_minus().data(), grid.h_plus().data(), grid.s_of_x().data(),
                     grid.ds_dx().data(), grid.d2s_dx2().data(), r, q, sigma, op.lower_.data(),
                     op.diag_.data(), op.upper_.data());
  op.factorised_ = false;
  return op;
}

}  // namespace vyr
