// The time grid of a march: the intervals between the stop times (the dividend times inside the
// option's life, then the valuation time), each with its number of steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "core/instant.hpp"
#include "market/dividend.hpp"

namespace vyr {

// One interval of the march, from `start` back to the stop time `end` (years from the valuation
// time), in `steps` steps of length `dt`. `dividend` is the cash paid at `end`: the sum of the
// positive amounts of the dividends at exactly that time, 0 when none.
struct TimeInterval {
  double start;
  double end;
  double dt;
  std::uint64_t steps;
  double dividend;
};

// Whether a dividend the march would apply goes ex strictly inside the life (0, T): a positive
// amount at a time in (0, maturity). `times[i]` belongs to `amounts[i]`.
bool pays_cash_inside(std::span<const double> times, std::span<const double> amounts,
                      double maturity);

// max(1, X / T · time_steps rounded half away from zero), a negative or NaN product counting as
// 0 and values beyond the 64-bit range saturating.
std::uint64_t interval_steps(double length, double maturity, std::uint64_t time_steps);

class TimeGrid {
 public:
  static constexpr std::size_t storage_size(std::size_t dividends) { return dividends + 1; }

  // Stop times: the year fractions (Actual/365 Fixed from `valuation`) of the dividends strictly
  // inside (0, T), latest first, then 0. Equal times form one stop. Intervals of non-positive
  // length are left out. `storage` holds storage_size(dividends.size()) intervals.
  TimeGrid(double maturity, std::span<const Dividend> dividends, const Instant& valuation,
           std::uint64_t time_steps, std::span<TimeInterval> storage);

  // The same from dividend times already computed, `times[i]` belonging to `amounts[i]`.
  TimeGrid(double maturity, std::span<const double> times, std::span<const double> amounts,
           std::uint64_t time_steps, std::span<TimeInterval> storage);

  // The intervals to step, latest first; empty when the valuation is at or after expiry.
  std::span<const TimeInterval> intervals() const { return intervals_; }

  // The sum of the cash the march applies, added in the order the march applies it.
  double applied_dividends() const { return applied_; }

 private:
  template <typename TimeAt, typename AmountAt>
  void build(double maturity, std::size_t count, TimeAt time_at, AmountAt amount_at,
             std::uint64_t time_steps, std::span<TimeInterval> storage);

  std::span<const TimeInterval> intervals_;
  double applied_ = 0.0;
};

}  // namespace vyr
