// American calls and puts under Black–Scholes with a continuous yield, by spectral collocation of
// the early-exercise boundary (Andersen, Lake and Offengenden 2016) solved with Newton's method
// from the QD+ boundary, and the early-exercise premium added to the European value.
//
// Units as for AnalyticPricer: times in years, continuously compounded r and q, theta per year
// of calendar time, vega per 1.0 of σ, rho per 1.0 of r.
//
// Regimes (for a call, read the put with spot K, strike S, rate q and yield r: the put–call
// symmetry C(S, K, r, q, σ) = P(K, S, q, r, σ)):
//   - put with r > 0, or r = 0 and q < 0: one exercise boundary, priced by the method;
//   - put with r <= 0 and q >= r (call with q <= 0 and r >= q): early exercise never pays, and
//     the result is AnalyticPricer's European value with its Greeks;
//   - put with q < r < 0 (call with r < q < 0): two exercise boundaries; ValueError.
// At T = 0 the price is the intrinsic value in every regime; vega and rho are 0; away from the
// strike gamma is 0, delta is the payoff's slope, and theta is the limit as T → 0 (for a put
// in the money, min(0, r·K − q·S): zero where exercise is optimal, the European carry where it
// is not); at the strike delta, gamma and theta are NaN. In the exercise region the value is
// the intrinsic value with delta ±1 and gamma, theta, vega and rho 0.
//
// Inputs outside the model raise ValueError: a spot, strike or volatility that is not positive
// and finite, a time to expiry that is negative or not finite, a rate or yield that is not
// finite; so do settings outside FixedPointSettings' ranges. The calls allocate nothing.
#pragma once

#include "instruments/vanilla_option.hpp"
#include "methods/fixed_point/fixed_point_settings.hpp"
#include "methods/pricing_result.hpp"

namespace vyr {

struct FixedPointPricer {
  // Price and all five Greeks: delta and gamma differentiate the premium integral (the boundary
  // does not depend on the spot), theta follows from the Black–Scholes equation, which the
  // value satisfies in the continuation region, and vega and rho are the exact derivatives of
  // the discretised problem, the boundary's response included (by the adjoint of the
  // collocation equations).
  static PricingResult price(OptionType type, double strike, double maturity_years, double spot,
                             double sigma, double r, double q, const FixedPointSettings& settings);

  // The price alone, bit for bit the price of price(); the fast path for implied volatility.
  static double price_only(OptionType type, double strike, double maturity_years, double spot,
                           double sigma, double r, double q, const FixedPointSettings& settings);
};

}  // namespace vyr
