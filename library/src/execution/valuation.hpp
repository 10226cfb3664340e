// A valuation end to end: market checks, the constant pricing inputs drawn from the market frame,
// routing, and the pricer's record.
#pragma once

#include <optional>

#include "core/instant.hpp"
#include "execution/pricing_config.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/market_frame.hpp"
#include "methods/pricing_result.hpp"

namespace vyr {

// The market checks shared by valuation and implied volatility: the rate curve's and the
// surface's day counts (an interpolated curve's is its first rate's), and the ValueError on a
// mismatch.
void check_day_counts(const MarketFrame& market);

// Values the option. `market` null raises ValueError "Market data is required for valuation.";
// `config` null uses PricingConfig::initial(); an absent valuation instant takes the clock now.
PricingResult value_option(const VanillaOption& option, const MarketFrame* market,
                           const std::optional<Instant>& valuation, const PricingConfig* config);

}  // namespace vyr
