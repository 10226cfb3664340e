// The early-exercise boundary B(τ) of an American put on [0, T], found by collocation: B is held
// at the Chebyshev–Lobatto nodes of x = √(τ/T) through G = ln(X/B) >= 0, and interpolated as
// H = G² (smoother than G near τ = 0, where G grows like √(τ·ln(1/τ))). The node values solve the
// smooth-pasting form of the boundary equation (Andersen, Lake and Offengenden 2016),
//   B(τ) = K·N(τ, B)/D(τ, B), with
//   N = e^{−rτ}·φ(d₋(τ, B(τ)/K))/(σ√τ) + r·∫₀^τ e^{−r(τ−u)}·φ(d₋(τ−u, B(τ)/B(u)))/(σ√(τ−u)) du
//   D = e^{−qτ}·[φ(d₊(τ, B(τ)/K))/(σ√τ) + Φ(d₊(τ, B(τ)/K))]
//       + q·∫₀^τ e^{−q(τ−u)}·[Φ(d₊(τ−u, B(τ)/B(u))) + φ(d₊(τ−u, B(τ)/B(u)))/(σ√(τ−u))] du
// with d± (s, z) = (ln z + (r − q)s)/(σ√s) ± σ√s/2, by Newton's method on all nodes at once
// (the full Jacobian, the boundary at u < τ included, in the Chebyshev basis) starting from QD+.
#pragma once

#include <array>
#include <cstddef>

#include "methods/fixed_point/american_put.hpp"
#include "methods/fixed_point/chebyshev_interpolation.hpp"
#include "methods/fixed_point/fixed_point_settings.hpp"
#include "methods/fixed_point/linear_system.hpp"

namespace vyr::fixed_point {

class ExerciseBoundary {
 public:
  static constexpr std::size_t kMaxNodes = FixedPointSettings::kMaxCollocationNodes;

  // Solves for the boundary of `put` with validated `settings`. With `sensitivities`, also
  // factorises the Jacobian at the solution and keeps the derivatives of the equations in σ, r,
  // q and ln X, for the vega and rho of the price.
  ExerciseBoundary(const AmericanPut& put, const FixedPointSettings& settings, bool sensitivities);

  const AmericanPut& put() const { return put_; }
  // The boundary is solved for on [0, horizon] and constant beyond (AmericanPut's
  // boundary_horizon); the horizon is the maturity unless the boundary settles much earlier.
  double horizon() const { return horizon_; }
  std::size_t degree() const { return degree_; }
  double log_limit() const { return log_limit_; }  // ln X
  // B(T), the boundary at the valuation time.
  double at_maturity() const;
  // G at the horizon, the boundary's value beyond it.
  double settled_log_distance() const { return g_[degree_ - 1]; }
  // Chebyshev coefficients of H(z) = G², z = 2x − 1 with x = (u/horizon)^(1/k).
  const double* coefficients() const { return coefficients_.data(); }
  // ∂c_k/∂G_m (k = 0..n, m = 1..n): how the interpolant moves with a node value.
  double coefficient_sensitivity(std::size_t k, std::size_t m) const;

  // For the sensitivities of a price V(G; θ) that depends on the node values G_1..G_n: given
  // g_m = ∂V/∂G_m (at index m − 1), returns λ·∂F/∂θ for θ = σ, r, q and ln X, where Jᵀλ = g and
  // F are the collocation equations. Then dV/dθ = ∂V/∂θ − λ·∂F/∂θ. Only with `sensitivities`;
  // NaN when the Jacobian is singular.
  struct EquationSensitivities {
    double sigma;
    double r;
    double q;
    double log_limit;
  };
  EquationSensitivities adjoint(double* g) const;

 private:
  // The collocation equations at the current node values, their derivatives ∂F_j/∂G_m and, with
  // `parameters`, their derivatives in σ, r, q and ln X. The derivatives are those of
  // ln(K·N_j/(B_j·D_j)); the residual is 1 − B_j·D_j/(K·N_j), which has the same root and, there,
  // the same derivatives.
  void evaluate(std::size_t quadrature_nodes, bool parameters);
  // The same, four nodes at a time with AVX2, or two at a time.
  void evaluate_wide(std::size_t quadrature_nodes, bool parameters);
  void evaluate_narrow(std::size_t quadrature_nodes, bool parameters);
  template <class Lanes>
  [[gnu::always_inline]] inline void evaluate_lanes(std::size_t quadrature_nodes, bool parameters);
  void update_coefficients();

  AmericanPut put_;
  std::size_t degree_;
  std::size_t lanes_;  // degree rounded up to a multiple of 4; the extra lanes copy node n
  double log_limit_;
  double horizon_;
  const ChebyshevInterpolation& chebyshev_;
  bool factorised_ = false;

  // Node j = 1..n at index j − 1.
  std::array<double, kMaxNodes> tau_;
  std::array<double, kMaxNodes> sqrt_tau_;
  std::array<double, kMaxNodes> rate_discount_;   // e^{−rτ_j}
  std::array<double, kMaxNodes> yield_discount_;  // e^{−qτ_j}
  std::array<double, kMaxNodes> zscale_;          // 1 + z_j
  std::array<double, kMaxNodes> g_;               // G_j
  std::array<double, kMaxNodes + 1> coefficients_;

  std::array<double, kMaxNodes> residual_;
  // The Jacobian transposed: entry (m, j) at m·n + j holds ∂F_j/∂G_m.
  std::array<double, kMaxNodes * kMaxNodes> jacobian_transposed_;
  std::array<std::array<double, kMaxNodes>, 4> parameter_derivatives_;  // σ, r, q, ln X
  LinearSystem system_;  // factors of the transposed Jacobian
};

}  // namespace vyr::fixed_point
