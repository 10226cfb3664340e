#include "methods/fixed_point/fixed_point_pricer.hpp"

#include <cmath>
#include <limits>
#include <string>

#include "core/error.hpp"
#include "core/number_format.hpp"
#include "methods/analytic_pricer.hpp"
#include "methods/early_exercise.hpp"
#include "methods/fixed_point/american_put.hpp"
#include "methods/fixed_point/early_exercise_premium.hpp"
#include "methods/fixed_point/exercise_boundary.hpp"
#include "methods/fixed_point/normal_distribution.hpp"

namespace vyr {
namespace {

using fixed_point::AmericanPut;
using fixed_point::ExerciseBoundary;

void require(bool ok, const char* what, double value) {
  if (!ok) {
    throw ValueError(std::string("American fixed-point pricing needs ") + what + "; got " +
                     format_shortest(value));
  }
}

void check_inputs(double strike, double maturity, double spot, double sigma, double r, double q,
                  const FixedPointSettings& settings) {
  require(std::isfinite(spot) && spot > 0.0, "a positive, finite spot", spot);
  require(std::isfinite(strike) && strike > 0.0, "a positive, finite strike", strike);
  require(std::isfinite(sigma) && sigma > 0.0, "a positive, finite volatility", sigma);
  require(std::isfinite(maturity) && maturity >= 0.0,
          "a time to expiry that is finite and not negative", maturity);
  require(std::isfinite(r), "a finite rate", r);
  require(std::isfinite(q), "a finite yield", q);
  settings.validate();
}

// The option as a put: a call C(S, K, r, q) is the put P(K, S, q, r).
struct PutView {
  bool call;
  double spot;
  double strike;
  double r;
  double q;
};

PutView as_put(OptionType type, double strike, double spot, double r, double q) {
  if (type == OptionType::Call) {
    return {true, strike, spot, q, r};
  }
  return {false, spot, strike, r, q};
}

enum class Regime { OneBoundary, European, TwoBoundaries };

// For the put: early exercise pays only when the strike earns interest (r > 0), or when r = 0
// and the stock costs carry (q < 0). With q < r < 0 it pays in a band between two boundaries.
Regime regime(double r, double q) {
  if (q < r && r < 0.0) {
    return Regime::TwoBoundaries;
  }
  if (put_early_exercise_never_pays(r, q)) {
    return Regime::European;
  }
  return Regime::OneBoundary;
}

[[noreturn]] void refuse_two_boundaries(const PutView& view) {
  throw ValueError(view.call
                       ? "American call with r < q < 0 needs two exercise boundaries, which the "
                         "fixed-point method does not price; route it to the grid"
                       : "American put with q < r < 0 needs two exercise boundaries, which the "
                         "fixed-point method does not price; route it to the grid");
}

// A put's price, delta, gamma, theta, vega and its derivatives in r and q.
struct PutResult {
  double price;
  double delta;
  double gamma;
  double theta;
  double vega;
  double d_r;
  double d_q;
};

// Back to the option asked for. For a call, with P(S', K') the put at spot S' = K and strike
// K' = S, homogeneity (P(λS', λK') = λP) gives ∂P/∂K' = (P − S'·∂P/∂S')/K' and
// ∂²P/∂K'² = (S'/K')²·∂²P/∂S'²; its rate is the call's yield, so the call's rho is ∂P/∂q.
PricingResult finish(const PutView& view, const PutResult& put) {
  if (!view.call) {
    return PricingResult{.vega = put.vega,
                         .rho = put.d_r,
                         .delta = put.delta,
                         .gamma = put.gamma,
                         .theta = put.theta,
                         .price = put.price};
  }
  const double ratio = view.spot / view.strike;
  return PricingResult{.vega = put.vega,
                       .rho = put.d_q,
                       .delta = (put.price - view.spot * put.delta) / view.strike,
                       .gamma = ratio * ratio * put.gamma,
                       .theta = put.theta,
                       .price = put.price};
}

// T = 0: the intrinsic value, and the limits of the Greeks as T → 0.
PutResult at_expiry(const PutView& v) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  PutResult x{};
  if (v.spot < v.strike) {
    x.price = v.strike - v.spot;
    x.delta = -1.0;
    x.theta = std::fmin(0.0, v.r * v.strike - v.q * v.spot);
  } else if (v.spot > v.strike) {
    x.price = 0.0;
    x.delta = 0.0;
  } else {
    x.price = 0.0;
    x.delta = nan;
    x.gamma = nan;
    x.theta = nan;
  }
  return x;
}

PutResult exercised(const PutView& v) {
  PutResult x{};
  x.price = v.strike - v.spot;
  x.delta = -1.0;
  return x;
}

// The European put with the same fast normal distribution as the premium.
struct EuropeanPut {
  double sqrt_t, d1, d2, rate_discount, yield_discount;

  EuropeanPut(const AmericanPut& put, double spot) {
    sqrt_t = std::sqrt(put.maturity);
    const double v = put.sigma * sqrt_t;
    d1 = (std::log(spot / put.strike) + (put.r - put.q) * put.maturity) / v + 0.5 * v;
    d2 = d1 - v;
    rate_discount = std::exp(-put.r * put.maturity);
    yield_discount = std::exp(-put.q * put.maturity);
  }

  double price(const AmericanPut& put, double spot) const {
    return put.strike * rate_discount * fixed_point::normal_cdf_fast(-d2) -
           spot * yield_discount * fixed_point::normal_cdf_fast(-d1);
  }
};

double american_put_price(const AmericanPut& put, const ExerciseBoundary& boundary, double spot,
                          const FixedPointSettings& settings) {
  const EuropeanPut european(put, spot);
  return european.price(put, spot) +
         fixed_point::early_exercise_premium(
             boundary, spot, put.premium_quadrature(settings.premium_quadrature_nodes));
}

PutResult american_put(const PutView& v, double maturity, double sigma,
                       const FixedPointSettings& settings) {
  const AmericanPut put{v.strike, maturity, sigma, v.r, v.q};
  if (v.spot <= put.perpetual_boundary()) {
    return exercised(v);
  }
  const ExerciseBoundary boundary(put, settings, true);
  if (v.spot <= boundary.at_maturity()) {
    return exercised(v);
  }
  const double spot = v.spot;
  const EuropeanPut e(put, spot);
  const double n_minus_d1 = fixed_point::normal_cdf_fast(-e.d1);
  const double n_minus_d2 = fixed_point::normal_cdf_fast(-e.d2);
  const double density = fixed_point::normal_density(e.d1);

  fixed_point::PremiumSensitivities premium = fixed_point::early_exercise_premium_sensitivities(
      boundary, spot, put.premium_quadrature(settings.premium_quadrature_nodes));
  PutResult x;
  x.price = american_put_price(put, boundary, spot, settings);
  x.delta = -e.yield_discount * n_minus_d1 + premium.delta;
  x.gamma = e.yield_discount * density / (spot * sigma * e.sqrt_t) + premium.gamma;
  // The value solves the Black–Scholes equation wherever the option is held.
  x.theta = put.r * x.price - (put.r - put.q) * spot * x.delta -
            0.5 * sigma * sigma * spot * spot * x.gamma;

  // The boundary's response to σ, r and q, by the adjoint of its equations. X = K·r/q moves
  // with r and q when q > r.
  const ExerciseBoundary::EquationSensitivities adjoint = boundary.adjoint(premium.nodes.data());
  const double log_limit_dr = put.q > put.r ? 1.0 / put.r : 0.0;
  const double log_limit_dq = put.q > put.r ? -1.0 / put.q : 0.0;
  x.vega = spot * e.yield_discount * density * e.sqrt_t + premium.sigma - adjoint.sigma;
  x.d_r = -put.strike * maturity * e.rate_discount * n_minus_d2 + premium.r +
          (premium.log_limit - adjoint.log_limit) * log_limit_dr - adjoint.r;
  x.d_q = spot * maturity * e.yield_discount * n_minus_d1 + premium.q +
          (premium.log_limit - adjoint.log_limit) * log_limit_dq - adjoint.q;
  return x;
}

}  // namespace

PricingResult FixedPointPricer::price(OptionType type, double strike, double maturity_years,
                                      double spot, double sigma, double r, double q,
                                      const FixedPointSettings& settings) {
  check_inputs(strike, maturity_years, spot, sigma, r, q, settings);
  const PutView view = as_put(type, strike, spot, r, q);
  if (maturity_years == 0.0) {
    return finish(view, at_expiry(view));
  }
  switch (regime(view.r, view.q)) {
    case Regime::TwoBoundaries:
      refuse_two_boundaries(view);
    case Regime::European:
      return AnalyticPricer::price(
          {type, ExerciseStyle::European, strike, maturity_years, spot, sigma, r, q});
    case Regime::OneBoundary:
      break;
  }
  return finish(view, american_put(view, maturity_years, sigma, settings));
}

double FixedPointPricer::price_only(OptionType type, double strike, double maturity_years,
                                    double spot, double sigma, double r, double q,
                                    const FixedPointSettings& settings) {
  check_inputs(strike, maturity_years, spot, sigma, r, q, settings);
  const PutView view = as_put(type, strike, spot, r, q);
  if (maturity_years == 0.0) {
    return at_expiry(view).price;
  }
  switch (regime(view.r, view.q)) {
    case Regime::TwoBoundaries:
      refuse_two_boundaries(view);
    case Regime::European:
      return AnalyticPricer::price_only(
          {type, ExerciseStyle::European, strike, maturity_years, spot, sigma, r, q});
    case Regime::OneBoundary:
      break;
  }
  const AmericanPut put{view.strike, maturity_years, sigma, view.r, view.q};
  // Below the perpetual boundary the option is exercised at every maturity.
  if (view.spot <= put.perpetual_boundary()) {
    return view.strike - view.spot;
  }
  const ExerciseBoundary boundary(put, settings, false);
  if (view.spot <= boundary.at_maturity()) {
    return view.strike - view.spot;
  }
  return american_put_price(put, boundary, view.spot, settings);
}

}  // namespace vyr
