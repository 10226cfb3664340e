// Shared pieces of the finite-difference tests: instants, options and a pricing call with the
// market given as plain numbers.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/date.hpp"
#include "core/instant.hpp"
#include "core/period.hpp"
#include "instruments/vanilla_option.hpp"
#include "market/dividend.hpp"
#include "methods/analytic_pricer.hpp"
#include "methods/finite_difference/fdm_config.hpp"
#include "orchestration/fdm.hpp"
#include "pricing_test_support.hpp"

namespace vyr::fdm_test {

inline Instant valuation() {
  return *Instant::from_parts(*Date::from_ymd(2024, 1, 2), 0, 0);
}

// `seconds` after the valuation instant.
inline Instant after(std::int64_t seconds) {
  const Instant start = valuation();
  const std::int64_t unix_start =
      (start.date().day_number() - Date::kUnixEpochDayNumber) * 86400 + start.seconds_of_day();
  return *Instant::from_unix(unix_start + seconds, 0);
}

inline constexpr std::int64_t kYear = 31'536'000;  // Actual/365 Fixed: T = 1 exactly

// `years` (of 365 days, rounded to whole seconds) after the valuation instant.
inline Instant after_years(double years) {
  return after(static_cast<std::int64_t>(years * static_cast<double>(kYear) + 0.5));
}

inline FdmConfig config(std::uint64_t nodes, std::uint64_t steps,
                        TransformKind kind = TransformKind::Sinh, double std_devs = 4.0) {
  FdmConfig c;
  c.transform.kind = kind;
  c.grid_nodes = nodes;
  c.time_steps = steps;
  c.grid_std_devs = std_devs;
  return c;
}

struct Market {
  double spot = 100.0;
  double sigma = 0.2;
  double r = 0.05;
  double q = 0.0;
};

inline PricingResult fdm(OptionType type, ExerciseStyle style, double strike, double years,
                         const Market& m, const FdmConfig& c = FdmConfig{},
                         std::span<const Dividend> dividends = {}) {
  const VanillaOption option{strike, after_years(years), type, style};
  return pricing_test::grid(option, valuation(), m.spot, m.sigma, m.r, m.q, dividends, c);
}

// The European price for the same whole-second expiry as fdm().
inline double closed_form(OptionType type, double strike, double years, const Market& m) {
  const VanillaOption option{strike, after_years(years), type, ExerciseStyle::European};
  return AnalyticPricer::price_only(
      pricing_test::inputs(option, valuation(), m.spot, m.sigma, m.r, m.q));
}

}  // namespace vyr::fdm_test
