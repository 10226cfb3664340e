// The QD+ approximation of the American put's exercise boundary (Li's refinement of the quadratic
// decomposition of Ju and Zhong), the starting point of the Newton iterations.
#pragma once

#include <cstddef>

#include "methods/fixed_point/american_put.hpp"

namespace vyr::fixed_point {

// With h = 1 − e^{−rτ}, α = 2r/σ², β = 2(r − q)/σ², λ the negative root of
// λ² + (β − 1)λ − α/h = 0 and p, Θ the European put's price and theta (per year of calendar
// time), the boundary S* < X solves
//   (1 − e^{−qτ}Φ(−d₁(S*)))·S* + (λ + c₀)·(K − S* − p(S*)) = 0,
//   c₀ = −(1 − h)α/(2λ + β − 1) · [1/h − e^{rτ}Θ/(r·(K − S* − p)) + λ'/(2λ + β − 1)],
//   λ' = dλ/dh = α/(h²·√((β − 1)² + 4α/h)).
// α/h and the other ratios are formed so that r = 0 needs no special case.
//
// Writes G_j = ln(X/B(τ_j)) > 0 for the `count` times to maturity `tau` (all > 0) into
// `log_distance`. All the roots are found together, by safeguarded Newton steps in ln G from the
// closed-form estimate of Barone-Adesi and Whaley (with the known behaviour near expiry where
// that estimate is poor).
void qd_plus_boundary(const AmericanPut& put, const double* tau, std::size_t count,
                      double* log_distance);

}  // namespace vyr::fixed_point
