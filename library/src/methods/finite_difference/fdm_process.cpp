#include "methods/finite_difference/fdm_process.hpp"

namespace vyr {

TridiagonalOperator FdmProcess::build_operator(const Grid& grid, std::span<double> storage) const {
  const std::size_t n = grid.size();
  TridiagonalOperator op(n, storage);
  const double* __restrict hm = grid.h_minus().data();
  const double* __restrict hp = grid.h_plus().data();
  const double* __restrict s = grid.s_of_x().data();
  const double* __restrict s1 = grid.ds_dx().data();
  const double* __restrict s2 = grid.d2s_dx2().data();
  double* __restrict lo = op.lower_.data();
  double* __restrict di = op.diag_.data();
  double* __restrict up = op.upper_.data();
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
  op.factorised_ = false;
  return op;
}

}  // namespace vyr
