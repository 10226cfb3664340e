// Closed-form Black–Scholes with a continuously compounded rate r and a continuous yield q.
#pragma once

#include "core/instant.hpp"
#include "instruments/vanilla_option.hpp"
#include "methods/pricing_result.hpp"

namespace vyr {

struct AnalyticPricer {
  // Price and all five Greeks; the exercise style is ignored (European value). Numerical trouble
  // shows as NaN or infinite fields, never as an error.
  static PricingResult price(const VanillaOption& option, const Instant& valuation, double spot,
                             double sigma, double r, double q);

  // The same record from a time to expiry already computed.
  static PricingResult price(OptionType option_type, double strike, double t, double spot,
                             double sigma, double r, double q);

  // The same price from a time to expiry already computed, without the Greeks.
  static double price_only(OptionType option_type, double strike, double t, double spot,
                           double sigma, double r, double q);
};

// N(x) = (1 + erf(x / √2)) / 2.
double normal_cdf(double x);

}  // namespace vyr
