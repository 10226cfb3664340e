// The finite-difference pricing entry point: one march from expiry to the valuation time gives
// price, delta, gamma and theta at the spot.
#pragma once

#include <span>

#include "methods/finite_difference/fdm_config.hpp"
#include "methods/pricing_inputs.hpp"
#include "methods/pricing_result.hpp"

namespace vyr {

struct FdmPricer {
  // vega and rho are absent from the result. Throws Panic "Solver never ran" when the valuation
  // is at or after expiry, "TridiagonalOperator requires at least 3 elements, found N" for
  // fewer than 3 nodes, "Spline failed in continuation region: ..." when a spline cannot be
  // built; std::bad_alloc when the grid cannot be allocated.
  // `dividend_times[i]` (years from the valuation time) belongs to `dividend_amounts[i]`, in
  // schedule order, unfiltered.
  static PricingResult price(const PricingInputs& in, std::span<const double> dividend_times,
                             std::span<const double> dividend_amounts, const FdmConfig& config);
};

}  // namespace vyr
