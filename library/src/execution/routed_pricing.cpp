#include "execution/routed_pricing.hpp"

#include "core/clock.hpp"
#include "core/error.hpp"
#include "core/period.hpp"
#include "methods/analytic_pricer.hpp"
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

bool pays_cash_inside(const PreparedPricing& prepared) {
  for (std::size_t i = 0; i < prepared.dividend_times.size(); ++i) {
    const double t = prepared.dividend_times[i];
    if (t > 0.0 && t < prepared.inputs.maturity && prepared.dividend_amounts[i] > 0.0) {
      return true;
    }
  }
  return false;
}

PricingResult price_routed(const PricingMethod& method, const PreparedPricing& prepared,
                           double sigma, Wanted wanted) {
  PricingInputs inputs = prepared.inputs;
  inputs.sigma = sigma;
  switch (method.kind) {
    case PricingMethod::Kind::Unset:
    case PricingMethod::Kind::Analytic:
      // The closed form gives the European value whatever the exercise style; discrete
      // dividends are not used.
      if (wanted == Wanted::Price) {
        PricingResult result{};
        result.price = AnalyticPricer::price_only(inputs);
        return result;
      }
      return AnalyticPricer::price(inputs);
    case PricingMethod::Kind::Fdm:
      // One march gives the price and the grid's Greeks alike.
      return FdmPricer::price(inputs, prepared.dividend_times, prepared.dividend_amounts,
                              method.settings.value_or(FdmConfig{}));
    case PricingMethod::Kind::FixedPoint: {
      if (pays_cash_inside(prepared)) {
        throw ValueError(
            "The fixed-point method cannot price a cash dividend inside the option's life; route "
            "options with dividends to the grid with InstrumentPolicy().fdm()");
      }
      const FixedPointSettings settings =
          method.fixed_point_settings.value_or(FixedPointSettings{});
      if (wanted == Wanted::Price) {
        PricingResult result{};
        result.price =
            FixedPointPricer::price_only(inputs.type, inputs.strike, inputs.maturity, inputs.spot,
                                         sigma, inputs.r, inputs.q, settings);
        return result;
      }
      return FixedPointPricer::price(inputs.type, inputs.strike, inputs.maturity, inputs.spot,
                                     sigma, inputs.r, inputs.q, settings);
    }
  }
  return AnalyticPricer::price(inputs);
}

TrialPricer::TrialPricer(const PricingMethod& method, const PreparedPricing& prepared)
    : method_(method), prepared_(prepared) {
  const bool closed_form =
      method.kind == PricingMethod::Kind::Unset || method.kind == PricingMethod::Kind::Analytic ||
      (method.kind == PricingMethod::Kind::FixedPoint &&
       prepared.inputs.style == ExerciseStyle::European && !pays_cash_inside(prepared));
  if (closed_form) {
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
