#include "execution/valuation.hpp"

#include <string>

#include "core/clock.hpp"
#include "core/error.hpp"
#include "core/period.hpp"
#include "methods/analytic_pricer.hpp"
#include "orchestration/fdm.hpp"

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

PricingInputs prepare_inputs(const VanillaOption& option, const MarketFrame& market,
                             const std::optional<Instant>& valuation) {
  const Instant at = valuation ? *valuation : now_utc();
  // Pricing time is always Actual/365 Fixed; the curves' own conventions do not enter it.
  const double t = act365_year_fraction(at, option.expiry);
  // The pricers take continuously compounded rates: those at which the curves discount to the
  // expiry, so that a simple or compounded curve prices as it discounts.
  const double r = market.rate_curve.continuous_rate(t);
  const double q = market.borrow_curve ? market.borrow_curve->continuous_rate(t) : 0.0;
  return PricingInputs{at, t, market.spot, market.vol_surface.vol, r, q};
}

PricingResult value_option(const VanillaOption& option, const MarketFrame* market,
                           const std::optional<Instant>& valuation, const PricingConfig* config) {
  if (market == nullptr) {
    throw ValueError("Market data is required for valuation.");
  }
  check_day_counts(*market);
  const PricingInputs in = prepare_inputs(option, *market, valuation);
  const PricingConfig& routing = config != nullptr ? *config : PricingConfig::initial();
  const PricingMethod& method = routing.method_for(option.exercise_style, option.option_type);

  if (method.kind == PricingMethod::Kind::Fdm) {
    return FdmPricer::price(option, in.valuation, in.spot, in.sigma, in.r, in.q, market->dividends,
                            method.settings.value_or(FdmConfig{}));
  }
  // The closed form gives the European value whatever the exercise style; American options are
  // accepted on this route only while q <= r.
  if (option.exercise_style == ExerciseStyle::American && in.q > in.r) {
    panic(
        "not implemented: American options with interest rate below dividend yield have not "
        "been implemented");
  }
  return AnalyticPricer::price(option, in.valuation, in.spot, in.sigma, in.r, in.q);
}

}  // namespace vyr
