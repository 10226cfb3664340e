#include "methods/finite_difference/grids/domain.hpp"

#include <cmath>

namespace vyr {

SpotRange centred_spot_range(double strike, double sigma, double maturity, double std_devs,
                             double reference_spot) {
  const double width = sigma * std::sqrt(maturity);
  const double log_strike = std::log(strike);
  SpotRange range{std::exp(log_strike - std_devs * width), std::exp(log_strike + std_devs * width)};
  const bool usable_spot = reference_spot > 0.0 && std::isfinite(reference_spot);
  if (width > 0.0 && std_devs > 0.0 && usable_spot) {
    const double reach = std::fabs(std::log(reference_spot / strike)) / width + kSpotMargin;
    if (reach > std_devs) {
      range = {std::exp(log_strike - reach * width), std::exp(log_strike + reach * width)};
    }
  }
  return range;
}

}  // namespace vyr
