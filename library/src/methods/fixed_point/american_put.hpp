// The option the fixed-point method prices: an American put under Black–Scholes with a continuous
// yield, one exercise boundary. Calls reach it through the put–call symmetry.
#pragma once

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
};

// The exercise boundary is interpolated in x = (τ/T)^(1/k). When it starts at the strike,
// G = ln(K/B) grows like √(τ·ln(1/τ)) near expiry, and k = 3.5 makes H = G² ~ x^3.5·ln(1/x)
// smooth enough for few nodes; when it starts below, G grows like √τ and k = 2 is best.
inline constexpr double kAtStrikeExponent = 3.5;
inline constexpr double kOffStrikeExponent = 2.0;

}  // namespace vyr::fixed_point
