// The record every pricer returns.
#pragma once

#include <optional>

namespace vyr {

struct PricingResult {
  std::optional<double> vega;  // per 1.0 of volatility; absent from the finite-difference method
  std::optional<double> rho;   // per 1.0 of rate; absent from the finite-difference method
  double delta;
  double gamma;
  double theta;  // per year of calendar time
  double price;
};

}  // namespace vyr
