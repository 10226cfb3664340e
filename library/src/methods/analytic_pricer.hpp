// Closed-form Black–Scholes with a continuously compounded rate r and a continuous yield q.
#pragma once

#include "methods/pricing_inputs.hpp"
#include "methods/pricing_result.hpp"

namespace vyr {

struct AnalyticPricer {
  // Price and all five Greeks; the exercise style is ignored (European value). Numerical trouble
  // shows as NaN or infinite fields, never as an error.
  static PricingResult price(const PricingInputs& in);

  // The same price without the Greeks.
  static double price_only(const PricingInputs& in);
};

// N(x) = (1 + erf(x / √2)) / 2.
double normal_cdf(double x);

}  // namespace vyr
