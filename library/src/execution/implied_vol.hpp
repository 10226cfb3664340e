// Implied volatility: the constant volatility at which the routed pricer reproduces a target
// price, searched in [0.1, 5.0].
#pragma once

#include <functional>
#include <optional>

#include "core/instant.hpp"
#include "execution/pricing_config.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/market_frame.hpp"

namespace vyr {

// Checks in order: market present (ValueError "Market data is required for implied volatility
// solving."), day counts, target present (ValueError "Target price must be set before calling
// solve()."); then prepares the inputs and runs the configured root finder. Solver failures are
// ValueErrors with their messages; pricer failures propagate.
double implied_volatility(const VanillaOption& option, const MarketFrame* market,
                          const std::optional<Instant>& valuation, const PricingConfig* config,
                          const std::optional<double>& target);

}  // namespace vyr
