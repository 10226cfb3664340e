#include "methods/finite_difference/time_grid.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

#include "core/error.hpp"
#include "core/period.hpp"

namespace vyr {

bool pays_cash_inside(std::span<const double> times, std::span<const double> amounts,
                      double maturity) {
  for (std::size_t i = 0; i < times.size() && i < amounts.size(); ++i) {
    if (times[i] > 0.0 && times[i] < maturity && amounts[i] > 0.0) {
      return true;
    }
  }
  return false;
}

std::uint64_t interval_steps(double length, double maturity, std::uint64_t time_steps) {
  const double share = std::round(length / maturity * static_cast<double>(time_steps));
  // 2^64: the first double beyond the unsigned 64-bit range.
  constexpr double kLimit = 18446744073709551616.0;
  std::uint64_t steps = 0;
  if (share >= kLimit) {
    steps = std::numeric_limits<std::uint64_t>::max();
  } else if (share > 0.0) {
    steps = static_cast<std::uint64_t>(share);
  }
  return std::max<std::uint64_t>(1, steps);
}

template <typename TimeAt, typename AmountAt>
void TimeGrid::build(double maturity, std::size_t count, TimeAt time_at, AmountAt amount_at,
                     std::uint64_t time_steps, std::span<TimeInterval> storage) {
  if (storage.size() < storage_size(count)) {
    panic("time grid storage too small");
  }
  // The dividends inside the life, keeping their schedule position in `steps` for the sort.
  std::size_t candidates = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const double t = time_at(i);
    if (t > 0.0 && t < maturity) {
      storage[candidates++] = {0.0, t, 0.0, static_cast<std::uint64_t>(i), amount_at(i)};
    }
  }
  const auto first = storage.begin();
  std::sort(first, first + static_cast<std::ptrdiff_t>(candidates),
            [](const TimeInterval& a, const TimeInterval& b) {
              return a.end > b.end || (a.end == b.end && a.steps < b.steps);
            });
  // One stop per distinct time, carrying the positive amounts at that time summed in schedule
  // order; then the valuation time.
  std::size_t stops = 0;
  for (std::size_t i = 0; i < candidates;) {
    const double t = storage[i].end;
    double cash = 0.0;
    for (; i < candidates && storage[i].end == t; ++i) {
      if (storage[i].dividend > 0.0) {
        cash += storage[i].dividend;
      }
    }
    storage[stops++] = {0.0, t, 0.0, 0, cash};
  }
  storage[stops++] = {0.0, 0.0, 0.0, 0, 0.0};

  std::size_t stepped = 0;
  double t = maturity;
  applied_ = 0.0;
  for (std::size_t i = 0; i < stops; ++i) {
    const double stop = storage[i].end;
    const double cash = storage[i].dividend;
    const double length = t - stop;
    if (length <= 0.0) {
      continue;
    }
    const std::uint64_t steps = interval_steps(length, maturity, time_steps);
    storage[stepped++] = {t, stop, length / static_cast<double>(steps), steps, cash};
    applied_ += cash;
    t = stop;
  }
  intervals_ = storage.first(stepped);
}

TimeGrid::TimeGrid(double maturity, std::span<const Dividend> dividends, const Instant& valuation,
                   std::uint64_t time_steps, std::span<TimeInterval> storage) {
  build(
      maturity, dividends.size(),
      [&](std::size_t i) { return act365_year_fraction(valuation, dividends[i].ex_date); },
      [&](std::size_t i) { return dividends[i].amount; }, time_steps, storage);
}

TimeGrid::TimeGrid(double maturity, std::span<const double> times, std::span<const double> amounts,
                   std::uint64_t time_steps, std::span<TimeInterval> storage) {
  if (times.size() != amounts.size()) {
    panic("dividend times and amounts differ in length");
  }
  build(
      maturity, times.size(), [&](std::size_t i) { return times[i]; },
      [&](std::size_t i) { return amounts[i]; }, time_steps, storage);
}

}  // namespace vyr
