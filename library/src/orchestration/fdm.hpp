// The finite-difference pricing entry point: one march from expiry to the valuation time gives
// price, delta, gamma and theta at the spot.
#pragma once

#include <span>

#include "core/instant.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "methods/finite_difference/fdm_config.hpp"
#include "methods/pricing_result.hpp"

namespace vyr {

struct FdmPricer {
  // vega and rho are absent from the result. Throws Panic "Solver never ran" when the valuation
  // is at or after expiry, "TridiagonalOperator requires at least 3 elements, found N" for
  // fewer than 3 nodes, "Spline failed in continuation region: ..." when a spline cannot be
  // built; std::bad_alloc when the grid cannot be allocated.
  static PricingResult price(const VanillaOption& option, const Instant& valuation, double spot,
                             double sigma, double r, double q,
                             std::span<const Dividend> dividends, const FdmConfig& config);
};

}  // namespace vyr
