// The one place that prices an option with the method a configuration routes it to: valuation
// and implied volatility both come through here, with every input already in years.
#pragma once

#include <optional>
#include <vector>

#include "core/instant.hpp"
#include "execution/pricing_config.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/market_frame.hpp"
#include "methods/analytic_pricer.hpp"
#include "methods/pricing_inputs.hpp"
#include "methods/pricing_result.hpp"

namespace vyr {

// The constants of one pricing drawn from a market frame: the valuation instant they were drawn
// at, the pricer inputs, and the cash dividends as (years from the valuation time, amount), in
// schedule order, unfiltered.
struct PreparedPricing {
  Instant valuation;
  PricingInputs inputs;
  std::vector<double> dividend_times;
  std::vector<double> dividend_amounts;
};

// Valuation instant (given, or the clock now), T (Actual/365 Fixed), r and q (the curves'
// continuously compounded rates to the expiry), σ and the spot, drawn from the frame.
PreparedPricing prepare_pricing(const VanillaOption& option, const MarketFrame& market,
                                const std::optional<Instant>& valuation);

// What the caller wants of the routed method.
enum class Wanted : bool {
  Valuation,  // price and every Greek the method gives
  Price,      // the price alone (the other fields are unspecified)
};

// Whether `method` prices `prepared` by the closed form: unset and Analytic always, FixedPoint for
// European exercise (the method's European part alone).
bool priced_in_closed_form(const PricingMethod& method, const PreparedPricing& prepared);

// Prices `prepared` at volatility `sigma` with `method`; unset and Analytic give the closed form,
// Fdm the grid with the cell's settings or the defaults, FixedPoint the boundary fixed-point
// method with the cell's accuracy settings or its defaults (for European exercise, which has no
// early-exercise premium, the closed form). FixedPoint cannot price a cash dividend inside the
// life: ValueError, telling the user to route such options to the grid.
PricingResult price_routed(const PricingMethod& method, const PreparedPricing& prepared,
                           double sigma, Wanted wanted);

// The routed method's price of one prepared option at any trial volatility, for the implied-
// volatility search: what a method can compute once for every σ (the closed form's
// σ-independent terms) it computes here. Each price has the bits price_routed gives.
class TrialPricer {
 public:
  TrialPricer(const PricingMethod& method, const PreparedPricing& prepared);
  double operator()(double sigma) const;

 private:
  const PricingMethod& method_;
  const PreparedPricing& prepared_;
  std::optional<ClosedFormPrice> closed_form_;
};

}  // namespace vyr
