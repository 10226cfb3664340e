#include "execution/implied_vol.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "core/number_format.hpp"
#include "core/period.hpp"
#include "methods/analytic_pricer.hpp"
#include "orchestration/fdm.hpp"
#include "pricing_test_support.hpp"

namespace vyr {
namespace {

const DayCountConvention kAct365 = DayCountConvention::actual_365_fixed();

Instant instant(std::int64_t year, std::int64_t month, std::int64_t day) {
  return *Instant::from_parts(*Date::from_ymd(year, month, day), 0, 0);
}

const Instant kValuation = instant(2024, 1, 2);
const Instant kExpiry = instant(2025, 1, 1);  // T = 1

VanillaOption option(ExerciseStyle style, OptionType type, double strike = 100.0) {
  return VanillaOption{strike, kExpiry, type, style};
}

MarketFrame frame(double spot = 100.0, double r = 0.05, double q = 0.0) {
  return MarketFrame{spot,
                     RateCurve::continuous(r, kAct365),
                     VolSurface::flat(0.2, kAct365),
                     {{instant(2024, 6, 3), 2.0}},
                     RateCurve::continuous(q, kAct365)};
}

double closed_form(const VanillaOption& o, const MarketFrame& m, double sigma) {
  return AnalyticPricer::price_only({o.option_type, o.exercise_style, o.strike, 1.0, m.spot, sigma,
                                     m.rate_curve.zero_rate(1.0), m.borrow_curve->zero_rate(1.0)});
}

template <typename E, typename F>
void expect_throws(F&& call, const std::string& message) {
  try {
    call();
    ADD_FAILURE() << "no exception; expected: " << message;
  } catch (const E& error) {
    EXPECT_EQ(error.what(), message);
  }
}

std::string not_bracketed(double f_low, double f_high) {
  return "Root is not bracketed. f(low) = " + format_shortest(f_low) +
         ", f(high) = " + format_shortest(f_high) + ". Target price might be out of bounds.";
}

PricingConfig with_solver(ImpliedVolSolver::Kind kind, double tolerance, std::uint64_t iterations) {
  return PricingConfig::initial().with_solver(ImpliedVolSolver{kind, tolerance, iterations});
}

const PricingConfig kAllGrid = PricingConfig::initial().with_policy(
    InstrumentPolicy{PricingMethod{PricingMethod::Kind::Fdm, std::nullopt}, {}, {}});
const PricingConfig kAllAnalytic = PricingConfig::initial().with_policy(
    InstrumentPolicy{PricingMethod{PricingMethod::Kind::Analytic, std::nullopt}, {}, {}});

TEST(ImpliedVol, ChecksMarketThenDayCountsThenTarget) {
  const VanillaOption call = option(ExerciseStyle::European, OptionType::Call);
  expect_throws<ValueError>(
      [&] { implied_volatility(call, nullptr, kValuation, nullptr, std::nullopt); },
      "Market data is required for implied volatility solving.");

  MarketFrame mismatched = frame();
  mismatched.vol_surface = VolSurface::flat(0.2, DayCountConvention::actual_360());
  expect_throws<ValueError>(
      [&] { implied_volatility(call, &mismatched, kValuation, nullptr, std::nullopt); },
      "Mismatched day count conventions: Rates use Actual365Fixed, while Vol uses Actual360. "
      "They must be identical.");

  // An interpolated curve's convention is its first rate's.
  MarketFrame interpolated = frame();
  interpolated.rate_curve =
      RateCurve::interpolated(
          *Date::from_ymd(2024, 1, 1), {Tenor{Tenor::Unit::Years, 1}, Tenor{Tenor::Unit::Years, 2}},
          {InterestRate{DayCountConvention::actual_360(), 0.02, Compounding::continuous()},
           InterestRate{kAct365, 0.03, Compounding::continuous()}})
          .value();
  expect_throws<ValueError>(
      [&] { implied_volatility(call, &interpolated, kValuation, nullptr, std::nullopt); },
      "Mismatched day count conventions: Rates use Actual360, while Vol uses Actual365Fixed. "
      "They must be identical.");

  const MarketFrame market = frame();
  expect_throws<ValueError>(
      [&] { implied_volatility(call, &market, kValuation, nullptr, std::nullopt); },
      "Target price must be set before calling solve().");
}

TEST(ImpliedVol, ClosedFormRoundTrips) {
  struct Case {
    OptionType type;
    double strike;
    double sigma;
  };
  const std::vector<Case> cases = {
      {OptionType::Call, 100.0, 0.2}, {OptionType::Put, 100.0, 0.2},
      {OptionType::Call, 80.0, 0.45}, {OptionType::Put, 130.0, 0.15},
      {OptionType::Call, 120.0, 1.7}, {OptionType::Put, 60.0, 3.9},
  };
  const MarketFrame market = frame(100.0, 0.05, 0.01);
  for (const Case& c : cases) {
    const VanillaOption o = option(ExerciseStyle::European, c.type, c.strike);
    const double target = closed_form(o, market, c.sigma);
    const double sigma = implied_volatility(o, &market, kValuation, nullptr, target);
    // The search ends when the price is within 1e-4 or the bracket is narrower than about
    // 5e-5 in volatility, whichever comes first.
    EXPECT_NEAR(sigma, c.sigma, 5e-5) << c.strike;
  }
}

TEST(ImpliedVol, GridRoundTrips) {
  const MarketFrame market = frame();
  for (const VanillaOption& o : {option(ExerciseStyle::American, OptionType::Put),
                                 option(ExerciseStyle::European, OptionType::Call, 110.0)}) {
    const auto grid_price = [&](double sigma) {
      return pricing_test::grid(o, kValuation, 100.0, sigma, 0.05, 0.0, market.dividends,
                                FdmConfig{})
          .price;
    };
    const double target = grid_price(0.3);
    const double sigma = implied_volatility(o, &market, kValuation, &kAllGrid, target);
    EXPECT_NEAR(sigma, 0.3, 5e-5);
    EXPECT_LT(std::abs(grid_price(sigma) - target), 5e-3);
    // The closed form would answer differently for the same target: the grid route was used.
    EXPECT_NE(sigma, implied_volatility(o, &market, kValuation, &kAllAnalytic, target));
  }
}

TEST(ImpliedVol, TargetsMatchedAtTheBracketEndsReturnThemExactly) {
  const MarketFrame market = frame();
  const VanillaOption put = option(ExerciseStyle::European, OptionType::Put);
  EXPECT_EQ(
      implied_volatility(put, &market, kValuation, nullptr, closed_form(put, market, 0.1) + 5e-5),
      0.1);
  EXPECT_EQ(
      implied_volatility(put, &market, kValuation, nullptr, closed_form(put, market, 5.0) - 5e-5),
      5.0);
}

TEST(ImpliedVol, TargetsOutsideTheBracketReportBothDifferences) {
  const MarketFrame market = frame();
  const VanillaOption deep_call = option(ExerciseStyle::European, OptionType::Call, 50.0);
  // Below intrinsic value, above the price at the top of the bracket, and negative.
  for (const double target : {45.0, 99.99, -1.0}) {
    const double low = closed_form(deep_call, market, 0.1) - target;
    const double high = closed_form(deep_call, market, 5.0) - target;
    expect_throws<ValueError>(
        [&] { implied_volatility(deep_call, &market, kValuation, nullptr, target); },
        not_bracketed(low, high));
  }
}

TEST(ImpliedVol, MessagesWriteTheShortestDecimalWithoutExponent) {
  // At expiry the closed form gives the intrinsic value for every volatility: 10 for the call
  // and 0 for the put with spot 110 and strike 100.
  const MarketFrame market = frame(110.0);
  const VanillaOption call = option(ExerciseStyle::European, OptionType::Call);
  const VanillaOption put = option(ExerciseStyle::European, OptionType::Put);
  const PricingConfig fine = with_solver(ImpliedVolSolver::Kind::Brent, 1e-9, 100);
  struct Case {
    const VanillaOption& option;
    double target;
    const char* difference;
  };
  const std::vector<Case> cases = {
      {call, 10.5, "-0.5"},
      {call, 5.0, "5"},
      {call, -1e20, "100000000000000000000"},
      {put, 1e-7, "-0.0000001"},
  };
  for (const Case& c : cases) {
    const std::string d = c.difference;
    expect_throws<ValueError>(
        [&] { implied_volatility(c.option, &market, kExpiry, &fine, c.target); },
        "Root is not bracketed. f(low) = " + d + ", f(high) = " + d +
            ". Target price might be out of bounds.");
  }
}

TEST(ImpliedVol, NanPricesOrTargetAreNotBracketed) {
  // After expiry every closed-form price is NaN; a NaN target makes every difference NaN.
  const MarketFrame market = frame();
  const VanillaOption call = option(ExerciseStyle::European, OptionType::Call);
  const std::string message = not_bracketed(std::nan(""), std::nan(""));
  expect_throws<ValueError>(
      [&] { implied_volatility(call, &market, instant(2025, 6, 1), nullptr, 10.0); }, message);
  expect_throws<ValueError>(
      [&] {
        implied_volatility(call, &market, kValuation, nullptr,
                           std::numeric_limits<double>::quiet_NaN());
      },
      message);
}

TEST(ImpliedVol, AmericanWithYieldAboveRateIsSolvedInClosedForm) {
  const MarketFrame market = frame(100.0, 0.01, 0.03);
  const PricingConfig analytic = kAllAnalytic;
  const VanillaOption american = option(ExerciseStyle::American, OptionType::Call);
  const VanillaOption european = option(ExerciseStyle::European, OptionType::Call);
  const double target = closed_form(european, market, 0.25);
  EXPECT_EQ(implied_volatility(american, &market, kValuation, &analytic, target),
            implied_volatility(european, &market, kValuation, nullptr, target));
}

TEST(ImpliedVol, BrentIterationLimit) {
  const MarketFrame market = frame();
  const VanillaOption call = option(ExerciseStyle::European, OptionType::Call);
  const double target = closed_form(call, market, 0.2);
  for (const std::uint64_t iterations : {0u, 1u, 3u}) {
    const PricingConfig config = with_solver(ImpliedVolSolver::Kind::Brent, 1e-13, iterations);
    expect_throws<ValueError>(
        [&] { implied_volatility(call, &market, kValuation, &config, target); },
        "Brent's method failed to converge within max iterations");
  }
}

TEST(ImpliedVol, BisectionThroughTheSolverSetting) {
  const MarketFrame market = frame();
  const VanillaOption call = option(ExerciseStyle::European, OptionType::Call);
  const double target = closed_form(call, market, 0.2);

  const PricingConfig bisection = with_solver(ImpliedVolSolver::Kind::Bisection, 1e-6, 100);
  const double sigma = implied_volatility(call, &market, kValuation, &bisection, target);
  EXPECT_LT(std::abs(closed_form(call, market, sigma) - target), 1e-6);

  expect_throws<ValueError>(
      [&] { implied_volatility(call, &market, kValuation, &bisection, -1.0); },
      "Target price -1 is below value at min vol");
  expect_throws<ValueError>(
      [&] { implied_volatility(call, &market, kValuation, &bisection, 100.25); },
      "Target price 100.25 is above value at max vol");

  const PricingConfig short_run = with_solver(ImpliedVolSolver::Kind::Bisection, 1e-12, 5);
  expect_throws<ValueError>(
      [&] { implied_volatility(call, &market, kValuation, &short_run, target); },
      "Bisection failed to converge within max iterations");
}

}  // namespace
}  // namespace vyr
