#include "methods/analytic_pricer.hpp"

#include <cmath>

namespace vyr {
namespace {

constexpr double kSqrt2 = 1.4142135623730951;
constexpr double kSqrt2Pi = 2.5066282746310002;

// The quantities the price and every Greek share. Degenerate inputs (T <= 0, σ = 0) are not
// special-cased: they flow through as infinite or NaN values.
struct Terms {
  double sqrt_t;
  double d1;
  double d2;
  double rate_discount;   // exp(−r·T)
  double yield_discount;  // exp(−q·T)
  double forward;         // S·exp(−q·T)
};

inline Terms terms(double strike, double t, double spot, double sigma, double r, double q) {
  Terms x;
  x.sqrt_t = std::sqrt(t);
  x.d1 = (std::log(spot / strike) + (r - q + sigma * sigma * 0.5) * t) / (sigma * x.sqrt_t);
  x.d2 = x.d1 - sigma * x.sqrt_t;
  x.rate_discount = std::exp(-r * t);
  x.yield_discount = std::exp(-q * t);
  x.forward = spot * x.yield_discount;
  return x;
}

// Shared by price() and price_only() so that both give the same bits.
inline double call_price(const Terms& x, double strike, double n_d1, double n_d2) {
  return x.forward * n_d1 - strike * x.rate_discount * n_d2;
}

inline double put_price(const Terms& x, double strike, double n_minus_d1, double n_minus_d2) {
  return strike * x.rate_discount * n_minus_d2 - x.forward * n_minus_d1;
}

}  // namespace

double normal_cdf(double x) {
  return (1.0 + std::erf(x / kSqrt2)) * 0.5;
}

PricingResult AnalyticPricer::price(const PricingInputs& in) {
  const double t = in.maturity;
  const double k = in.strike;
  const double spot = in.spot;
  const double sigma = in.sigma;
  const double r = in.r;
  const double q = in.q;
  const Terms x = terms(k, t, spot, sigma, r, q);

  const double n_d1 = normal_cdf(x.d1);
  const double phi = std::exp(-x.d1 * x.d1 * 0.5) / kSqrt2Pi;
  const double gamma = x.yield_discount * phi / (spot * sigma * x.sqrt_t);
  const double vega = x.forward * phi * x.sqrt_t;
  const double two_sqrt_t = x.sqrt_t + x.sqrt_t;

  if (in.type == OptionType::Put) {
    const double n_minus_d1 = normal_cdf(-x.d1);
    const double n_minus_d2 = normal_cdf(-x.d2);
    return PricingResult{
        .vega = vega,
        .rho = -k * t * x.rate_discount * n_minus_d2,
        .delta = x.yield_discount * (n_d1 - 1.0),
        .gamma = gamma,
        .theta = -x.forward * phi * sigma / two_sqrt_t - q * x.forward * n_minus_d1 +
                 r * k * x.rate_discount * n_minus_d2,
        .price = put_price(x, k, n_minus_d1, n_minus_d2),
    };
  }
  const double n_d2 = normal_cdf(x.d2);
  return PricingResult{
      .vega = vega,
      .rho = k * t * x.rate_discount * n_d2,
      .delta = x.yield_discount * n_d1,
      .gamma = gamma,
      .theta = q * x.forward * n_d1 - x.forward * phi * sigma / two_sqrt_t -
               r * k * x.rate_discount * n_d2,
      .price = call_price(x, k, n_d1, n_d2),
  };
}

double AnalyticPricer::price_only(const PricingInputs& in) {
  return ClosedFormPrice(in).at(in.sigma);
}

ClosedFormPrice::ClosedFormPrice(const PricingInputs& in)
    : put_(in.type == OptionType::Put),
      strike_(in.strike),
      t_(in.maturity),
      sqrt_t_(std::sqrt(in.maturity)),
      log_moneyness_(std::log(in.spot / in.strike)),
      carry_(in.r - in.q),
      rate_discount_(std::exp(-in.r * in.maturity)),
      forward_(in.spot * std::exp(-in.q * in.maturity)) {}

double ClosedFormPrice::at(double sigma) const {
  // The operations of terms(), in its order, so that the bits are the same.
  Terms x;
  x.sqrt_t = sqrt_t_;
  x.d1 = (log_moneyness_ + (carry_ + sigma * sigma * 0.5) * t_) / (sigma * x.sqrt_t);
  x.d2 = x.d1 - sigma * x.sqrt_t;
  x.rate_discount = rate_discount_;
  x.forward = forward_;
  if (put_) {
    return put_price(x, strike_, normal_cdf(-x.d1), normal_cdf(-x.d2));
  }
  return call_price(x, strike_, normal_cdf(x.d1), normal_cdf(x.d2));
}

}  // namespace vyr
