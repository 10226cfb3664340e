// Quadrature over a span of times to maturity u in [0, τ], written in the angle θ of
// τ − u = τ·sin²θ, u = τ·cos²θ. The substitution makes √(τ − u) = √τ·sinθ and √u = √τ·cosθ
// smooth in θ, which removes the 1/√(τ − u) singularity of the boundary integrands and the √u
// behaviour of the exercise boundary near u = 0:
//   ∫₀^τ f(u) du         = Σ_k w_k · 2τ·sinθ_k·cosθ_k · f(τ·cos²θ_k)
//   ∫₀^τ f(u)/√(τ−u) du  = Σ_k w_k · 2√τ·cosθ_k      · f(τ·cos²θ_k)
// Two maps from Gauss–Legendre nodes y in [−1, 1] to θ in [0, π/2]:
//   boundary: θ = π/4·(1 + y), even in θ;
//   premium:  θ = π/2·v², v = (1 + y)/2, which crowds nodes towards τ − u = 0, where the
//             premium integrand has a layer of width (ln(S/B)/σ)² when the spot is near the
//             boundary.
#pragma once

#include <cstddef>

#include "methods/fixed_point/american_put.hpp"
#include "methods/fixed_point/fixed_point_settings.hpp"

namespace vyr::fixed_point {

struct TimeIntegrationRule {
  std::size_t size;
  // size rounded up to a multiple of 4: the arrays run on to here, the extra entries repeating
  // the last node with zero weights, so that loops over four nodes at a time need no remainder.
  std::size_t padded_size;
  const double* sin;                  // sinθ_k
  const double* cos;                  // cosθ_k
  const double* weight;               // w_k, the weight in θ
  const double* inverse_sin_squared;  // 1/sin²θ_k
  const double* root_weight;  // w_k·cosθ_k: ∫ f/√(τ−u) du = 2√τ·Σ_k root_weight_k·f_k
  const double* plain_weight;  // w_k·sinθ_k·cosθ_k: ∫ f du = 2τ·Σ_k plain_weight_k·f_k
  // cosθ_k^(2/k) with k = kAtStrikeExponent: the ratio (u/τ)^(1/k) at the node, for a boundary
  // interpolated in (u/T)^(1/k). (For kOffStrikeExponent = 2 it is cosθ_k itself.)
  const double* cos_power;
};

// The rules for 1 to FixedPointSettings::kMaxQuadratureNodes nodes, built on first use of each
// size and kept for the life of the process.
const TimeIntegrationRule& boundary_rule(std::size_t nodes);
const TimeIntegrationRule& premium_rule(std::size_t nodes);

}  // namespace vyr::fixed_point
