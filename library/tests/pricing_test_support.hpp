// Pricer inputs for tests that describe an option by its instants: the time to expiry and the
// dividend times as the execution layer computes them (Actual/365 Fixed from the valuation).
#pragma once

#include <span>
#include <vector>

#include "core/instant.hpp"
#include "core/period.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "methods/analytic_pricer.hpp"
#include "methods/finite_difference/fdm_config.hpp"
#include "methods/pricing_inputs.hpp"
#include "orchestration/fdm.hpp"

namespace vyr::pricing_test {

inline PricingInputs inputs(const VanillaOption& option, const Instant& valuation, double spot,
                            double sigma, double r, double q) {
  return {option.option_type,
          option.exercise_style,
          option.strike,
          act365_year_fraction(valuation, option.expiry),
          spot,
          sigma,
          r,
          q};
}

inline PricingResult closed_form(const VanillaOption& option, const Instant& valuation, double spot,
                                 double sigma, double r, double q) {
  return AnalyticPricer::price(inputs(option, valuation, spot, sigma, r, q));
}

inline PricingResult grid(const VanillaOption& option, const Instant& valuation, double spot,
                          double sigma, double r, double q, std::span<const Dividend> dividends,
                          const FdmConfig& config) {
  std::vector<double> times;
  std::vector<double> amounts;
  for (const Dividend& dividend : dividends) {
    times.push_back(act365_year_fraction(valuation, dividend.ex_date));
    amounts.push_back(dividend.amount);
  }
  return FdmPricer::price(inputs(option, valuation, spot, sigma, r, q), times, amounts, config);
}

}  // namespace vyr::pricing_test
