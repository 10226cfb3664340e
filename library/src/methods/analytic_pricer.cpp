#include "methods/analytic_pricer.hpp"

#include <cmath>

#include "core/period.hpp"

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

PricingResult AnalyticPricer::price(const VanillaOption& option, const Instant& valuation,
                                    double spot, double sigma, double r, double q) {
  return price(option.option_type, option.strike, act365_year_fraction(valuation, option.expiry),
               spot, sigma, r, q);
}

PricingResult AnalyticPricer::price(OptionType option_type, double k, double t, double spot,
                                    double sigma, double r, double q) {
  const Terms x = terms(k, t, spot, sigma, r, q);

  const double n_d1 = normal_cdf(x.d1);
  const double phi = std::exp(-x.d1 * x.d1 * 0.5) / kSqrt2Pi;
  const double gamma = x.yield_discount * phi / (spot * sigma * x.sqrt_t);
  const double vega = x.forward * phi * x.sqrt_t;
  const double two_sqrt_t = x.sqrt_t + x.sqrt_t;

  if (option_type == OptionType::Put) {
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

double AnalyticPricer::price_only(OptionType option_type, double strike, double t, double spot,
                                  double sigma, double r, double q) {
  const Terms x = terms(strike, t, spot, sigma, r, q);
  if (option_type == OptionType::Put) {
    return put_price(x, strike, normal_cdf(-x.d1), normal_cdf(-x.d2));
  }
  return call_price(x, strike, normal_cdf(x.d1), normal_cdf(x.d2));
}

}  // namespace vyr
