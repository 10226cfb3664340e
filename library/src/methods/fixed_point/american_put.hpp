// The option the fixed-point method prices: an American put under Black–Scholes with a continuous
// yield, one exercise boundary. Calls reach it through the put–call symmetry.
#pragma once

#include <algorithm>
#include <cmath>

namespace vyr::fixed_point {

struct AmericanPut {
  double strike;    // K > 0
  double maturity;  // T > 0, years
  double sigma;     // > 0
  double r;         // > 0, or 0 with q < 0
  double q;

  // X = lim B(τ) as τ → 0: the strike, or K·r/q when the yield exceeds the rate (the boundary
  // then starts where holding the strike in cash earns as much as the stock pays).
  double exercise_limit() const { return off_strike() ? strike * (r / q) : strike; }
  bool off_strike() const { return q > r; }

  // B∞ = K·λ/(λ − 1), λ = (1 − β − √((β − 1)² + 4α))/2 with α = 2r/σ², β = 2(r − q)/σ²: the
  // boundary of the perpetual put, below the boundary at every finite maturity (the exercise
  // region shrinks as the maturity grows). 0 when exercise never pays forever (r = 0, β <= 1).
  double perpetual_boundary() const {
    const double s2 = sigma * sigma;
    const double beta_minus_1 = 2.0 * (r - q) / s2 - 1.0;
    const double lambda =
        0.5 * (-beta_minus_1 - std::sqrt(beta_minus_1 * beta_minus_1 + 8.0 * r / s2));
    return std::max(strike * lambda / (lambda - 1.0), 0.0);
  }
};

// The exercise boundary is interpolated in x = (τ/T)^(1/k). When it starts at the strike,
// G = ln(K/B) grows like √(τ·ln(1/τ)) near expiry, and k = 3.5 makes H = G² ~ x^3.5·ln(1/x)
// smooth enough for few nodes; when it starts below, G grows like √τ and k = 2 is best.
inline constexpr double kAtStrikeExponent = 3.5;
inline constexpr double kOffStrikeExponent = 2.0;

}  // namespace vyr::fixed_point
