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

// The closed-form price of one option at any volatility, for a search over σ: what does not
// depend on σ (the time's square root, the log-moneyness, the carry and the two discount factors)
// is computed once. at(σ) gives the bits of AnalyticPricer::price_only at that σ.
class ClosedFormPrice {
 public:
  explicit ClosedFormPrice(const PricingInputs& in);
  double at(double sigma) const;

 private:
  bool put_;
  double strike_;
  double t_;
  double sqrt_t_;
  double log_moneyness_;
  double carry_;
  double rate_discount_;
  double forward_;
};

// N(x) = (1 + erf(x / √2)) / 2.
double normal_cdf(double x);

}  // namespace vyr
