#include "execution/valuation.hpp"

#include <string>

#include "core/error.hpp"
#include "execution/routed_pricing.hpp"

namespace vyr {

void check_day_counts(const MarketFrame& market) {
  // An interpolated curve's convention is that of its first rate.
  const DayCountConvention rates = market.rate_curve.day_count();
  const DayCountConvention vol = market.vol_surface.day_count;
  if (rates != vol) {
    std::string message = "Mismatched day count conventions: Rates use ";
    message += rates.debug_name();
    message += ", while Vol uses ";
    message += vol.debug_name();
    message += ". They must be identical.";
    throw ValueError(message);
  }
}

PricingResult value_option(const VanillaOption& option, const MarketFrame* market,
                           const std::optional<Instant>& valuation, const PricingConfig* config) {
  if (market == nullptr) {
    throw ValueError("Market data is required for valuation.");
  }
  check_day_counts(*market);
  const PreparedPricing prepared = prepare_pricing(option, *market, valuation);
  const PricingConfig& routing = config != nullptr ? *config : PricingConfig::initial();
  const PricingMethod& method = routing.method_for(option.exercise_style, option.option_type);
  // The closed form gives the European value; a valuation accepts it for an American option only
  // while early exercise cannot pay more, q <= r.
  if (priced_in_closed_form(method, prepared) && option.exercise_style == ExerciseStyle::American &&
      prepared.inputs.q > prepared.inputs.r) {
    panic(
        "not implemented: American options with interest rate below dividend yield have not "
        "been implemented");
  }
  return price_routed(method, prepared, prepared.inputs.sigma, Wanted::Valuation);
}

}  // namespace vyr
