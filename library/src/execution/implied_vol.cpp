#include "execution/implied_vol.hpp"

#include "core/error.hpp"
#include "execution/root_finder.hpp"
#include "execution/routed_pricing.hpp"
#include "execution/valuation.hpp"

namespace vyr {
namespace {

// The volatility bracket of every search.
constexpr double kLowVol = 0.1;
constexpr double kHighVol = 5.0;

template <typename P>
double solve(const ImpliedVolSolver& solver, P&& price, double target) {
  if (solver.kind == ImpliedVolSolver::Kind::Bisection) {
    return bisection_root(price, target, kLowVol, kHighVol, solver.tolerance,
                          solver.max_iterations);
  }
  return brent_root([&](double sigma) { return price(sigma) - target; }, kLowVol, kHighVol,
                    solver.tolerance, solver.max_iterations);
}

}  // namespace

double implied_volatility(const VanillaOption& option, const MarketFrame* market,
                          const std::optional<Instant>& valuation, const PricingConfig* config,
                          const std::optional<double>& target) {
  if (market == nullptr) {
    throw ValueError("Market data is required for implied volatility solving.");
  }
  check_day_counts(*market);
  if (!target) {
    throw ValueError("Target price must be set before calling solve().");
  }
  const PricingConfig& routing = config != nullptr ? *config : PricingConfig::initial();
  const PreparedPricing prepared = prepare_pricing(option, *market, valuation);
  const PricingMethod& method = routing.method_for(option.exercise_style, option.option_type);
  // Each trial volatility is a full repricing; only the price is used. Unlike a valuation, the
  // closed-form route accepts American options with q > r (European prices).
  const TrialPricer price(method, prepared);
  return solve(routing.solver(), price, *target);
}

}  // namespace vyr
