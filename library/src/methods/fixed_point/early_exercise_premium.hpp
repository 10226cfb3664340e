// The early-exercise premium of the American put over the European one, for a spot in the
// continuation region (S > B(T)):
//   V(S) − v(S) = ∫₀^T [ r·K·e^{−r(T−u)}·Φ(−d₋(T−u, S/B(u))) − q·S·e^{−q(T−u)}·Φ(−d₊(T−u, S/B(u)))
//   ] du
// with its derivatives. The boundary does not depend on S, so delta and gamma differentiate the
// integrand; the derivatives in σ, r and q at a fixed boundary and in the boundary's node values
// feed the adjoint that gives vega and rho.
#pragma once

#include <array>
#include <cstddef>

#include "methods/fixed_point/exercise_boundary.hpp"

namespace vyr::fixed_point {

struct PremiumSensitivities {
  double delta;
  double gamma;
  double sigma;      // ∂/∂σ at fixed node values G and fixed X
  double r;          // ∂/∂r, same
  double q;          // ∂/∂q, same
  double log_limit;  // ∂/∂ln X at fixed G: a shift of ln B(u) everywhere
  std::array<double, ExerciseBoundary::kMaxNodes> nodes;  // ∂/∂G_m, m = 1..n at index m − 1
};

// The premium alone, with `quadrature_nodes` nodes of the premium rule.
double early_exercise_premium(const ExerciseBoundary& boundary, double spot,
                              std::size_t quadrature_nodes);

// Its derivatives (the premium itself comes from early_exercise_premium, so that a price with
// Greeks has the same bits as one without).
PremiumSensitivities early_exercise_premium_sensitivities(const ExerciseBoundary& boundary,
                                                          double spot,
                                                          std::size_t quadrature_nodes);

}  // namespace vyr::fixed_point
