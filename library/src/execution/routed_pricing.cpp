#include "execution/routed_pricing.hpp"

#include "core/clock.hpp"
#include "core/error.hpp"
#include "core/period.hpp"
#include "methods/analytic_pricer.hpp"
#include "methods/finite_difference/time_grid.hpp"
#include "methods/fixed_point/fixed_point_pricer.hpp"
#include "orchestration/fdm.hpp"

namespace vyr {

PreparedPricing prepare_pricing(const VanillaOption& option, const MarketFrame& market,
                                const std::optional<Instant>& valuation) {
  const Instant at = valuation ? *valuation : now_utc();
  // Pricing time is always Actual/365 Fixed; the curves' own conventions do not enter it.
  const double t = act365_year_fraction(at, option.expiry);
  // The pricers take continuously compounded rates: those at which the curves discount to the
  // expiry, so that a simple or compounded curve prices as it discounts.
  const double r = market.rate_curve.continuous_rate(t);
  const double q = market.borrow_curve ? market.borrow_curve->continuous_rate(t) : 0.0;
  PreparedPricing prepared{at,
                           PricingInputs{option.option_type, option.exercise_style, option.strike,
                                         t, market.spot, market.vol_surface.vol, r, q},
                           {},
                           {}};
  prepared.dividend_times.reserve(market.dividends.size());
  prepared.dividend_amounts.reserve(market.dividends.size());
  for (const Dividend& dividend : market.dividends) {
    prepared.dividend_times.push_back(act365_year_fraction(at, dividend.ex_date));
    prepared.dividend_amounts.push_back(dividend.amount);
  }
  return prepared;
}

namespace {

bool pays_cash_inside(const PreparedPricing& prepared) {
  return vyr::pays_cash_inside(prepared.dividend_times, prepared.dividend_amounts,
                               prepared.inputs.maturity);
}

// A record holding only a price, for Wanted::Price.
PricingResult price_alone(double price) {
  PricingResult result{};
  result.price = price;
  return result;
}

}  // namespace

bool priced_in_closed_form(const PricingMethod& method, const PreparedPricing& prepared) {
  switch (method.kind) {
    case PricingMethod::Kind::Unset:
    case PricingMethod::Kind::Analytic:
      return true;
    case PricingMethod::Kind::FixedPoint:
      // The method is the European value plus the early-exercise premium, which European
      // exercise does not have.
      return prepared.inputs.style == ExerciseStyle::European;
    case PricingMethod::Kind::Fdm:
      break;
  }
  return false;
}

PricingResult price_routed(const PricingMethod& method, const PreparedPricing& prepared,
                           double sigma, Wanted wanted) {
  if (method.kind == PricingMethod::Kind::FixedPoint && pays_cash_inside(prepared)) {
    throw ValueError(
        "The fixed-point method cannot price a cash dividend inside the option's life; route "
        "options with dividends to the grid with InstrumentPolicy().fdm()");
  }
  PricingInputs inputs = prepared.inputs;
  inputs.sigma = sigma;
  if (priced_in_closed_form(method, prepared)) {
    // The closed form gives the European value whatever the exercise style; discrete dividends
    // are not used.
    return wanted == Wanted::Price ? price_alone(AnalyticPricer::price_only(inputs))
                                   : AnalyticPricer::price(inputs);
  }
  if (method.kind == PricingMethod::Kind::Fdm) {
    // One march gives the price and the grid's Greeks alike.
    return FdmPricer::price(inputs, prepared.dividend_times, prepared.dividend_amounts,
                            method.settings.value_or(FdmConfig{}));
  }
  const FixedPointSettings settings = method.fixed_point_settings.value_or(FixedPointSettings{});
  if (wanted == Wanted::Price) {
    return price_alone(FixedPointPricer::price_only(inputs.type, inputs.strike, inputs.maturity,
                                                    inputs.spot, sigma, inputs.r, inputs.q,
                                                    settings));
  }
  return FixedPointPricer::price(inputs.type, inputs.strike, inputs.maturity, inputs.spot, sigma,
                                 inputs.r, inputs.q, settings);
}

TrialPricer::TrialPricer(const PricingMethod& method, const PreparedPricing& prepared)
    : method_(method), prepared_(prepared) {
  // A search the routed pricing would refuse keeps its refusal.
  const bool refused = method.kind == PricingMethod::Kind::FixedPoint && pays_cash_inside(prepared);
  if (!refused && priced_in_closed_form(method, prepared)) {
    closed_form_.emplace(prepared.inputs);
  }
}

double TrialPricer::operator()(double sigma) const {
  if (closed_form_) {
    return closed_form_->at(sigma);
  }
  return price_routed(method_, prepared_, sigma, Wanted::Price).price;
}

}  // namespace vyr
