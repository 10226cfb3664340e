#include "methods/finite_difference/time_grid.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "fdm_test_support.hpp"

namespace vyr {
namespace {

TEST(IntervalSteps, RoundsHalvesAwayFromZeroWithAtLeastOneStep) {
  struct Case {
    double length, maturity;
    std::uint64_t time_steps, expected;
  };
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
  for (const Case c : {
           Case{1.0, 1.0, 10, 10},
           Case{0.25, 1.0, 10, 3},      // 2.5 rounds up
           Case{0.35, 1.0, 10, 4},      // 3.5 rounds up
           Case{0.24, 1.0, 10, 2},      // 2.4 rounds down
           Case{0.01, 1.0, 10, 1},      // 0.1 rounds to 0, at least one step
           Case{0.5, 1.0, 0, 1},        // no steps asked: one per interval
           Case{-1.0, 1.0, 10, 1},      // negative counts as 0
           Case{NAN, NAN, 10, 1},       // NaN counts as 0
           Case{1.0, 1.0, kMax, kMax},  // 2^64 − 1 saturates instead of wrapping
           Case{1e300, 1e-300, 10, kMax},
       }) {
    EXPECT_EQ(interval_steps(c.length, c.maturity, c.time_steps), c.expected)
        << c.length << " / " << c.maturity << " · " << c.time_steps;
  }
}

TimeGrid make(double maturity, const std::vector<double>& times, const std::vector<double>& amounts,
              std::uint64_t steps, std::vector<TimeInterval>& storage) {
  storage.assign(TimeGrid::storage_size(times.size()), TimeInterval{});
  return TimeGrid(maturity, times, amounts, steps, storage);
}

TEST(TimeGrid, DividendsAtOrOutsideTheLifeMakeNoStop) {
  std::vector<TimeInterval> storage;
  const TimeGrid grid = make(1.0, {0.0, 1.0, -0.5, 1.5}, {1.0, 1.0, 1.0, 1.0}, 10, storage);
  ASSERT_EQ(grid.intervals().size(), 1u);
  const TimeInterval& only = grid.intervals()[0];
  EXPECT_EQ(only.start, 1.0);
  EXPECT_EQ(only.end, 0.0);
  EXPECT_EQ(only.steps, 10u);
  EXPECT_EQ(only.dt, 0.1);
  EXPECT_EQ(only.dividend, 0.0);
  EXPECT_EQ(grid.applied_dividends(), 0.0);
}

TEST(TimeGrid, StopsLatestFirstWithStepsInProportion) {
  std::vector<TimeInterval> storage;
  const TimeGrid grid = make(2.0, {0.5, 1.5}, {1.0, 2.0}, 20, storage);
  ASSERT_EQ(grid.intervals().size(), 3u);
  const auto iv = grid.intervals();
  EXPECT_EQ(iv[0].start, 2.0);
  EXPECT_EQ(iv[0].end, 1.5);
  EXPECT_EQ(iv[0].steps, 5u);
  EXPECT_EQ(iv[0].dividend, 2.0);
  EXPECT_EQ(iv[1].end, 0.5);
  EXPECT_EQ(iv[1].steps, 10u);
  EXPECT_EQ(iv[1].dividend, 1.0);
  EXPECT_EQ(iv[2].end, 0.0);
  EXPECT_EQ(iv[2].steps, 5u);
  EXPECT_DOUBLE_EQ(iv[1].dt, 0.1);
  EXPECT_EQ(grid.applied_dividends(), 3.0);
}

TEST(TimeGrid, EqualTimesShareOneStopAndOneSummedJump) {
  std::vector<TimeInterval> storage;
  // Schedule order 0.1, 0.2, then a negative and a NaN amount that are ignored.
  const TimeGrid grid = make(1.0, {0.5, 0.5, 0.5, 0.5}, {0.1, 0.2, -3.0, NAN}, 10, storage);
  ASSERT_EQ(grid.intervals().size(), 2u);
  EXPECT_EQ(grid.intervals()[0].end, 0.5);
  EXPECT_EQ(grid.intervals()[0].dividend, 0.1 + 0.2);
  EXPECT_EQ(grid.intervals()[1].dividend, 0.0);
  EXPECT_EQ(grid.applied_dividends(), 0.1 + 0.2);
}

TEST(TimeGrid, CloseButDistinctTimesEachApplyTheirOwnAmountOnce) {
  std::vector<TimeInterval> storage;
  // 1e-7 years apart: both stops are stepped, each carries only its own dividend.
  const TimeGrid grid = make(1.0, {0.5, 0.5 + 1e-7}, {1.0, 2.0}, 10, storage);
  ASSERT_EQ(grid.intervals().size(), 3u);
  EXPECT_EQ(grid.intervals()[0].end, 0.5 + 1e-7);
  EXPECT_EQ(grid.intervals()[0].dividend, 2.0);
  EXPECT_EQ(grid.intervals()[1].end, 0.5);
  EXPECT_EQ(grid.intervals()[1].steps, 1u);
  EXPECT_EQ(grid.intervals()[1].dividend, 1.0);
  EXPECT_EQ(grid.applied_dividends(), 3.0);
}

TEST(TimeGrid, NonPositiveAmountsKeepTheirStop) {
  std::vector<TimeInterval> storage;
  const TimeGrid grid = make(1.0, {0.5}, {0.0}, 10, storage);
  ASSERT_EQ(grid.intervals().size(), 2u);
  EXPECT_EQ(grid.intervals()[0].steps, 5u);
  EXPECT_EQ(grid.intervals()[0].dividend, 0.0);
}

TEST(TimeGrid, NoIntervalAtOrAfterExpiry) {
  for (const double maturity : {0.0, -0.25}) {
    std::vector<TimeInterval> storage;
    EXPECT_TRUE(make(maturity, {}, {}, 10, storage).intervals().empty());
  }
}

TEST(TimeGrid, ReadsDividendTimesFromTheSchedule) {
  using fdm_test::after;
  using fdm_test::kYear;
  const std::vector<Dividend> dividends{{after(kYear / 2), 1.0},
                                        {after(kYear / 2), 0.5},
                                        {after(0), 7.0},
                                        {after(kYear), 7.0},
                                        {after(-kYear), 7.0}};
  std::vector<TimeInterval> storage(TimeGrid::storage_size(dividends.size()));
  const TimeGrid grid(1.0, dividends, fdm_test::valuation(), 10, storage);
  ASSERT_EQ(grid.intervals().size(), 2u);
  EXPECT_EQ(grid.intervals()[0].end, 0.5);
  EXPECT_EQ(grid.intervals()[0].dividend, 1.5);
}

}  // namespace
}  // namespace vyr
