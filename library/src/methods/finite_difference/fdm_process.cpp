#include "methods/finite_difference/fdm_process.hpp"

#include <cmath>

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

// The coefficients in x from the ratios ρ = S/S′ and κ = S″/S′, which stay moderate where S, S′
// and S″ themselves are so large that S² or S′³ overflow: a = (r − q)·ρ − σ²/2·ρ²·κ and
// b = σ²/2·ρ². Log: ρ = κ = 1. Sinh: ρ = 1/(α·cosh x), κ = tanh x + α·cosh x.
struct Coefficients {
  double convection;
  double diffusion;
};

Coefficients coefficients_from_ratios(const CoordinateTransform& transform, double x, double r,
                                      double q, double sigma) {
  double rho = 1.0;
  double kappa = 1.0;
  if (transform.kind() == TransformKind::Sinh) {
    const double alpha = transform.alpha();
    const double ch = std::cosh(x);
    rho = 1.0 / (alpha * ch);
    kappa = std::tanh(x) + alpha * ch;
  }
  const double half_variance = sigma * sigma / 2.0;
  return {(r - q) * rho - half_variance * rho * rho * kappa, half_variance * rho * rho};
}

// Rows whose stencil gives a neighbour a negative weight, and rows whose coefficients overflowed,
// rebuilt. A negative weight appears where the drift dominates the diffusion over a cell (cell
// Péclet number |a|·h/(2b) above 1, h the spacing toward the side the drift comes from): the
// central first difference then makes the solution oscillate and go negative. There the row takes
// the first difference in the direction of the drift, (a/h⁺)·(uᵢ₊₁ − uᵢ) for a > 0 and
// (a/h⁻)·(uᵢ − uᵢ₋₁) for a < 0, whose own numerical diffusion |a|·h/2 exceeds the physical one it
// replaces. It is the central stencil with the diffusion raised to |a|·h/2, so the row moves
// continuously from one form to the other at Péclet number 1, and every other row keeps its
// central differences exactly.
void repair_rows(const Grid& grid, double r, double q, double sigma, double* __restrict lo,
                 double* __restrict di, double* __restrict up) {
  const std::size_t n = grid.size();
  const std::span<const double> hm = grid.h_minus();
  const std::span<const double> hp = grid.h_plus();
  const std::span<const double> xs = grid.xs();
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const bool finite = std::isfinite(lo[i]) && std::isfinite(di[i]) && std::isfinite(up[i]);
    if (finite && lo[i] >= 0.0 && up[i] >= 0.0) {
      continue;
    }
    if (!std::isfinite(xs[i]) || !std::isfinite(hm[i]) || !std::isfinite(hp[i])) {
      continue;  // a degenerate grid: its values stay as they are
    }
    const Coefficients c = coefficients_from_ratios(grid.transform(), xs[i], r, q, sigma);
    const double h_minus = hm[i];
    const double h_plus = hp[i];
    const double a = c.convection;
    const double reach = a > 0.0 ? a * h_plus : -a * h_minus;
    const double b = std::fmax(c.diffusion, reach / 2.0);
    const double e = h_minus * h_plus * (h_minus + h_plus);
    lo[i] = -a * (h_plus * h_plus) / e + 2.0 * b * h_plus / e;
    di[i] = a * (h_plus * h_plus - h_minus * h_minus) / e - 2.0 * b * (h_minus + h_plus) / e - r;
    up[i] = a * (h_minus * h_minus) / e + 2.0 * b * h_minus / e;
    // The downwind weight is zero up to rounding; keep it exactly so.
    if (reach / 2.0 >= c.diffusion) {
      (a > 0.0 ? lo[i] : up[i]) = 0.0;
    }
  }
}

}  // namespace

TridiagonalOperator FdmProcess::build_operator(const Grid& grid, std::span<double> storage) const {
  const std::size_t n = grid.size();
  TridiagonalOperator op(n, storage);
  fill_interior_rows(n, grid.h_minus().data(), grid.h_plus().data(), grid.s_of_x().data(),
                     grid.ds_dx().data(), grid.d2s_dx2().data(), r, q, sigma, op.lower_.data(),
                     op.diag_.data(), op.upper_.data());
  repair_rows(grid, r, q, sigma, op.lower_.data(), op.diag_.data(), op.upper_.data());
  op.discard_factorisations();
  return op;
}

}  // namespace vyr
