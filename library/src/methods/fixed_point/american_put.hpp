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
  double exercise_limit() const { return q > r ? strike * (r / q) : strike; }
};

}  // namespace vyr::fixed_point
