#include "execution/valuation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/clock.hpp"
#include "core/error.hpp"
#include "core/period.hpp"
#include "core/rate.hpp"
#include "execution/implied_vol.hpp"
#include "execution/routed_pricing.hpp"
#include "methods/analytic_pricer.hpp"
#include "methods/fixed_point/fixed_point_pricer.hpp"
#include "orchestration/fdm.hpp"
#include "pricing_test_support.hpp"

namespace vyr {
namespace {

const DayCountConvention kAct365 = DayCountConvention::actual_365_fixed();

Instant instant(std::int64_t year, std::int64_t month, std::int64_t day,
                std::uint32_t seconds = 0) {
  return *Instant::from_parts(*Date::from_ymd(year, month, day), seconds, 0);
}

// One year of 365 days, so T = 1 exactly.
const Instant kValuation = instant(2024, 1, 2);
const Instant kExpiry = instant(2025, 1, 1);

VanillaOption option(ExerciseStyle style, OptionType type, double strike = 100.0) {
  return VanillaOption{strike, kExpiry, type, style};
}

MarketFrame frame(double r, std::optional<double> q = std::nullopt, DividendList dividends = {}) {
  std::optional<RateCurve> borrow;
  if (q) {
    borrow = RateCurve::continuous(*q, kAct365);
  }
  return MarketFrame{100.0, RateCurve::continuous(r, kAct365), VolSurface::flat(0.2, kAct365),
                     std::move(dividends), std::move(borrow)};
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

PricingConfig routed(const PricingMethod& method, std::vector<ExerciseStyle> styles = {},
                     std::vector<OptionType> types = {}) {
  return PricingConfig::initial().with_policy(
      InstrumentPolicy{method, std::move(styles), std::move(types)});
}

const PricingMethod kAnalytic{PricingMethod::Kind::Analytic, std::nullopt};
const PricingMethod kFdm{PricingMethod::Kind::Fdm, std::nullopt};

void expect_same(const PricingResult& actual, const PricingResult& expected) {
  EXPECT_EQ(actual.price, expected.price);
  EXPECT_EQ(actual.delta, expected.delta);
  EXPECT_EQ(actual.gamma, expected.gamma);
  EXPECT_EQ(actual.theta, expected.theta);
  EXPECT_EQ(actual.vega, expected.vega);
  EXPECT_EQ(actual.rho, expected.rho);
}

TEST(Valuation, MissingMarketIsReportedEvenWithAConfig) {
  const PricingConfig config = routed(kAnalytic);
  expect_throws<ValueError>(
      [&] {
        value_option(option(ExerciseStyle::European, OptionType::Call), nullptr, kValuation,
                     &config);
      },
      "Market data is required for valuation.");
}

TEST(Valuation, InitialConfigPricesEuropeanInClosedFormAndAmericanOnTheGrid) {
  const MarketFrame market = frame(0.05, 0.01, {{instant(2024, 7, 1), 1.5}});
  const VanillaOption european = option(ExerciseStyle::European, OptionType::Call);
  const VanillaOption american = option(ExerciseStyle::American, OptionType::Put);

  const PricingResult closed_form = value_option(european, &market, kValuation, nullptr);
  expect_same(closed_form, pricing_test::closed_form(european, kValuation, 100.0, 0.2, 0.05, 0.01));
  EXPECT_TRUE(closed_form.vega && closed_form.rho);

  const PricingResult grid = value_option(american, &market, kValuation, nullptr);
  expect_same(grid, pricing_test::grid(american, kValuation, 100.0, 0.2, 0.05, 0.01,
                                       market.dividends, FdmConfig{}));
  EXPECT_FALSE(grid.vega || grid.rho);
}

TEST(Valuation, EachCellRoutesOnlyItsOwnOption) {
  const MarketFrame market = frame(0.05);
  const std::vector<std::pair<ExerciseStyle, OptionType>> cells = {
      {ExerciseStyle::American, OptionType::Call},
      {ExerciseStyle::American, OptionType::Put},
      {ExerciseStyle::European, OptionType::Call},
      {ExerciseStyle::European, OptionType::Put}};
  for (const auto& [grid_style, grid_type] : cells) {
    const PricingConfig config =
        routed(kAnalytic).with_policy(InstrumentPolicy{kFdm, {grid_style}, {grid_type}});
    for (const auto& [style, type] : cells) {
      const VanillaOption priced = option(style, type);
      const PricingResult result = value_option(priced, &market, kValuation, &config);
      const bool on_grid = style == grid_style && type == grid_type;
      EXPECT_EQ(result.vega.has_value(), !on_grid)
          << static_cast<int>(style) << "/" << static_cast<int>(type);
      if (!on_grid) {
        expect_same(result, pricing_test::closed_form(priced, kValuation, 100.0, 0.2, 0.05, 0.0));
      }
    }
  }
}

TEST(Valuation, GridCellUsesItsOwnSettings) {
  FdmConfig settings;
  settings.transform = Transform{TransformKind::Log, 0.0};
  settings.grid_nodes = 201;
  settings.time_steps = 40;
  const MarketFrame market = frame(0.05);
  const VanillaOption put = option(ExerciseStyle::American, OptionType::Put);
  const PricingConfig config = routed(PricingMethod{PricingMethod::Kind::Fdm, settings});

  const PricingResult result = value_option(put, &market, kValuation, &config);
  expect_same(result, pricing_test::grid(put, kValuation, 100.0, 0.2, 0.05, 0.0, {}, settings));
  EXPECT_NE(result.price, value_option(put, &market, kValuation, nullptr).price);
}

TEST(Valuation, AmericanOnTheClosedFormRouteIsRefusedWhenYieldExceedsRate) {
  const PricingConfig analytic = routed(kAnalytic, {ExerciseStyle::American});
  for (const OptionType type : {OptionType::Call, OptionType::Put}) {
    const VanillaOption american = option(ExerciseStyle::American, type);
    const MarketFrame q_above_r = frame(0.01, 0.03);

    EXPECT_FALSE(value_option(american, &q_above_r, kValuation, nullptr).vega);
    expect_throws<Panic>(
        [&] { value_option(american, &q_above_r, kValuation, &analytic); },
        "not implemented: American options with interest rate below dividend yield have not "
        "been implemented");

    const MarketFrame q_equal_r = frame(0.03, 0.03);
    expect_same(
        value_option(american, &q_equal_r, kValuation, &analytic),
        value_option(option(ExerciseStyle::European, type), &q_equal_r, kValuation, nullptr));
  }
}

TEST(Valuation, MismatchedDayCountsNameBothConventions) {
  struct Case {
    DayCountConvention rates;
    DayCountConvention vol;
    const char* message;
  };
  const std::vector<Case> cases = {
      {kAct365, DayCountConvention::actual_360(),
       "Mismatched day count conventions: Rates use Actual365Fixed, while Vol uses Actual360. "
       "They must be identical."},
      {DayCountConvention::thirty_360(Thirty360Variant::UnitedStatesIsda),
       DayCountConvention::thirty_360(Thirty360Variant::GermanIsda),
       "Mismatched day count conventions: Rates use Thirty360(UnitedStatesIsda), while Vol uses "
       "Thirty360(GermanIsda). They must be identical."},
      {DayCountConvention::actual_actual_isda(), kAct365,
       "Mismatched day count conventions: Rates use ActualActual(ISDA), while Vol uses "
       "Actual365Fixed. They must be identical."},
  };
  for (const Case& c : cases) {
    MarketFrame market = frame(0.05);
    market.rate_curve = RateCurve::flat(InterestRate{c.rates, 0.05, Compounding::continuous()});
    market.vol_surface = VolSurface::flat(0.2, c.vol);
    expect_throws<ValueError>([&] { check_day_counts(market); }, c.message);
    expect_throws<ValueError>(
        [&] {
          value_option(option(ExerciseStyle::European, OptionType::Call), &market, kValuation,
                       nullptr);
        },
        c.message);
    // Matching conventions pass, whatever they are.
    market.vol_surface = VolSurface::flat(0.2, c.rates);
    EXPECT_NO_THROW(check_day_counts(market));
  }
}

RateCurve interpolated_curve() {
  const InterestRate two{kAct365, 0.02, Compounding::continuous()};
  const InterestRate three{kAct365, 0.03, Compounding::continuous()};
  return RateCurve::interpolated(*Date::from_ymd(2024, 1, 1),
                                 {Tenor{Tenor::Unit::Years, 1}, Tenor{Tenor::Unit::Years, 2}},
                                 {two, three})
      .value();
}

TEST(Valuation, InterpolatedCurvesPriceAtTheirRateToTheExpiry) {
  // As the rate curve, with its first rate's convention.
  MarketFrame market = frame(0.05);
  market.rate_curve = interpolated_curve();
  const VanillaOption call = option(ExerciseStyle::European, OptionType::Call);
  const PricingInputs inputs = prepare_pricing(call, market, kValuation).inputs;
  EXPECT_EQ(inputs.r, market.rate_curve.zero_rate(inputs.maturity));
  EXPECT_EQ(value_option(call, &market, kValuation, nullptr).price,
            AnalyticPricer::price(inputs).price);
  market.vol_surface = VolSurface::flat(0.2, DayCountConvention::actual_360());
  expect_throws<ValueError>(
      [&] { value_option(call, &market, kValuation, nullptr); },
      "Mismatched day count conventions: Rates use Actual365Fixed, while Vol uses Actual360. "
      "They must be identical.");

  // As a borrow curve it is read at T, here between its two nodes.
  MarketFrame borrowing = frame(0.05);
  borrowing.borrow_curve = interpolated_curve();
  const VanillaOption later{100.0, instant(2025, 7, 2), OptionType::Call, ExerciseStyle::European};
  const PricingInputs in = prepare_pricing(later, borrowing, kValuation).inputs;
  EXPECT_EQ(in.q, borrowing.borrow_curve->zero_rate(in.maturity));
  EXPECT_GT(in.q, 0.02);
  EXPECT_LT(in.q, 0.03);
}

TEST(Valuation, InputsComeFromTheFrameWithActual365Time) {
  MarketFrame market = frame(0.0);
  // A simple 5 % rate is read as the continuous rate that discounts alike to the expiry, and
  // the curves' Actual/360 does not enter T.
  const DayCountConvention act360 = DayCountConvention::actual_360();
  market.rate_curve = RateCurve::flat(InterestRate{act360, 0.05, Compounding::simple()});
  market.vol_surface = VolSurface::flat(0.35, act360);
  market.spot = 97.5;
  const Instant noon = instant(2024, 1, 2, 43200);
  const PreparedPricing prepared =
      prepare_pricing(option(ExerciseStyle::European, OptionType::Put), market, noon);
  const PricingInputs& in = prepared.inputs;
  EXPECT_EQ(prepared.valuation, noon);
  EXPECT_EQ(in.maturity, (365.0 * 86400.0 - 43200.0) / 31536000.0);
  EXPECT_NEAR(in.r, -std::log(market.rate_curve.discount_factor(in.maturity)) / in.maturity, 1e-16);
  EXPECT_EQ(in.q, 0.0);
  EXPECT_EQ(in.sigma, 0.35);
  EXPECT_EQ(in.spot, 97.5);
}

TEST(Valuation, AbsentValuationInstantReadsTheClock) {
  const MarketFrame market = frame(0.05);
  const Instant before = now_utc();
  const PreparedPricing in =
      prepare_pricing(option(ExerciseStyle::European, OptionType::Call), market, std::nullopt);
  const Instant after = now_utc();
  EXPECT_LE(before, in.valuation);
  EXPECT_LE(in.valuation, after);
  EXPECT_EQ(in.inputs.maturity, act365_year_fraction(in.valuation, kExpiry));
}

TEST(Valuation, DividendsMoveTheGridPriceButNotTheClosedForm) {
  const MarketFrame plain = frame(0.05);
  const MarketFrame paying = frame(0.05, std::nullopt, {{instant(2024, 7, 1), 3.0}});
  const PricingConfig grid = routed(kFdm);
  for (const ExerciseStyle style : {ExerciseStyle::European, ExerciseStyle::American}) {
    const VanillaOption put = option(style, OptionType::Put);
    EXPECT_GT(value_option(put, &paying, kValuation, &grid).price,
              value_option(put, &plain, kValuation, &grid).price + 0.5);
  }
  const VanillaOption european = option(ExerciseStyle::European, OptionType::Put);
  EXPECT_EQ(value_option(european, &paying, kValuation, nullptr).price,
            value_option(european, &plain, kValuation, nullptr).price);
}

TEST(Valuation, GridRouteAtExpiryReportsThatTheSolverNeverRan) {
  const MarketFrame market = frame(0.05);
  expect_throws<Panic>(
      [&] {
        value_option(option(ExerciseStyle::American, OptionType::Put), &market, kExpiry, nullptr);
      },
      "Solver never ran");
}

}  // namespace
}  // namespace vyr

namespace vyr {
namespace {

TEST(FixedPointRoute, ValuesAndSolvesThroughTheFixedPointPricer) {
  FixedPointSettings fine = FixedPointSettings::high_accuracy();
  for (const std::optional<FixedPointSettings>& settings :
       {std::optional<FixedPointSettings>{}, std::optional<FixedPointSettings>{fine}}) {
    const PricingConfig config =
        routed(PricingMethod{PricingMethod::Kind::FixedPoint, std::nullopt, settings});
    const MarketFrame market = frame(0.05, 0.02);
    for (const OptionType type : {OptionType::Put, OptionType::Call}) {
      const VanillaOption american = option(ExerciseStyle::American, type, 105.0);
      const PricingResult result = value_option(american, &market, kValuation, &config);
      expect_same(result, FixedPointPricer::price(type, 105.0, 1.0, 100.0, 0.2, 0.05, 0.02,
                                                  settings.value_or(FixedPointSettings{})));
      EXPECT_TRUE(result.vega && result.rho);
      // The implied volatility of its own price at σ = 0.35 is 0.35.
      const double target = FixedPointPricer::price_only(type, 105.0, 1.0, 100.0, 0.35, 0.05, 0.02,
                                                         settings.value_or(FixedPointSettings{}));
      EXPECT_NEAR(implied_volatility(american, &market, kValuation, &config, target), 0.35, 5e-5);
    }
  }
}

TEST(FixedPointRoute, RefusesACashDividendInsideTheLife) {
  const PricingConfig config =
      routed(PricingMethod{PricingMethod::Kind::FixedPoint, std::nullopt, std::nullopt});
  const std::string message =
      "The fixed-point method cannot price a cash dividend inside the option's life; route "
      "options with dividends to the grid with InstrumentPolicy().fdm()";
  const VanillaOption put = option(ExerciseStyle::American, OptionType::Put);
  const MarketFrame paying = frame(0.05, std::nullopt, {{instant(2024, 7, 1), 1.5}});
  expect_throws<ValueError>([&] { value_option(put, &paying, kValuation, &config); }, message);
  expect_throws<ValueError>([&] { implied_volatility(put, &paying, kValuation, &config, 5.0); },
                            message);
  // Dividends outside the life, or of no cash, change nothing.
  const MarketFrame outside =
      frame(0.05, std::nullopt, {{instant(2025, 7, 1), 1.5}, {instant(2024, 7, 1), 0.0}});
  const MarketFrame plain = frame(0.05);
  EXPECT_EQ(value_option(put, &outside, kValuation, &config).price,
            value_option(put, &plain, kValuation, &config).price);
}

}  // namespace
}  // namespace vyr
