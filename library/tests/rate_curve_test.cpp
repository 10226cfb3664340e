#include "market/rate_curve.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/error.hpp"

namespace vyr {
namespace {

const DayCountConvention kAct360 = DayCountConvention::actual_360();
const DayCountConvention kAct365 = DayCountConvention::actual_365_fixed();

Date date(std::int64_t year, unsigned month, unsigned day) {
  return *Date::from_ymd(year, month, day);
}

Tenor years(std::int32_t n) {
  return {Tenor::Unit::Years, n};
}

InterestRate rate(double value, DayCountConvention dcc = kAct365,
                  Compounding compounding = Compounding::continuous()) {
  return {dcc, value, compounding};
}

std::string panic_text(const auto& action) {
  try {
    action();
  } catch (const Panic& error) {
    return error.what();
  }
  return "no panic";
}

TEST(RateCurve, FlatCurveKeepsItsRateAndRule) {
  const RateCurve curve = RateCurve::flat(rate(0.05, kAct360, Compounding::simple()));
  EXPECT_EQ(curve.zero_rate(2.0), 0.05);
  EXPECT_EQ(curve.zero_rate(-3.0), 0.05);
  EXPECT_DOUBLE_EQ(curve.discount_factor(2.0), 1.0 / 1.1);
  EXPECT_EQ(curve.day_count(), kAct360);
  EXPECT_FALSE(curve.is_interpolated());

  const RateCurve quarterly =
      RateCurve::flat(rate(0.08, kAct365, Compounding::compounded(Frequency::Quarterly)));
  EXPECT_DOUBLE_EQ(quarterly.discount_factor(1.0), 1.0 / std::pow(1.02, 4.0));
}

TEST(RateCurve, ContinuousCurve) {
  const RateCurve curve = RateCurve::continuous(0.03, kAct360);
  for (const double t : {0.0, 0.5, 1.0, 7.5, -1.0}) {
    EXPECT_EQ(curve.zero_rate(t), 0.03);
    EXPECT_DOUBLE_EQ(curve.discount_factor(t), std::exp(-0.03 * t));
  }
  EXPECT_EQ(curve.day_count(), kAct360);
}

TEST(RateCurve, SimpleThenCompoundedDoesNotDiscount) {
  const auto unsupported = Compounding::simple_then_compounded(Frequency::Monthly);
  const RateCurve flat = RateCurve::flat(rate(0.05, kAct365, unsupported));
  EXPECT_EQ(flat.zero_rate(1.0), 0.05);
  EXPECT_EQ(panic_text([&] { flat.discount_factor(1.0); }),
            "not yet implemented: Implement other logic");

  const auto curve = RateCurve::interpolated(date(2024, 1, 1), {years(1), years(2)},
                                             {rate(0.02, kAct365, unsupported), rate(0.03)});
  ASSERT_TRUE(curve);
  EXPECT_EQ(panic_text([&] { curve->discount_factor(1.0); }),
            "not yet implemented: Implement other logic");
}

TEST(RateCurve, InterpolatedNodesAndZeroRates) {
  const auto curve =
      RateCurve::interpolated(date(2024, 1, 1), {years(1), years(2)}, {rate(0.02), rate(0.03)});
  ASSERT_TRUE(curve);
  const auto& kind = std::get<RateCurve::Interpolated>(curve->kind());
  ASSERT_EQ(kind.interpolator.xs().size(), 2u);
  EXPECT_EQ(kind.interpolator.xs()[0], 366.0 / 365.0);
  EXPECT_EQ(kind.interpolator.xs()[1], 731.0 / 365.0);
  EXPECT_EQ(kind.interpolator.ys()[0], 0.02);
  EXPECT_EQ(kind.interpolator.ys()[1], 0.03);
  EXPECT_EQ(kind.reference_date, date(2024, 1, 1));
  EXPECT_EQ(kind.tenors.size(), 2u);

  // 1.5 years lies on the segment; t = 0 extrapolates below the first node.
  EXPECT_GT(curve->zero_rate(1.5), 0.02);
  EXPECT_LT(curve->zero_rate(1.5), 0.03);
  EXPECT_DOUBLE_EQ(curve->zero_rate(1.5), 0.02 + (1.5 - 366.0 / 365.0) * 0.01);
  EXPECT_DOUBLE_EQ(curve->zero_rate(0.0), 0.02 - 366.0 / 365.0 * 0.01);
  EXPECT_DOUBLE_EQ(curve->zero_rate(3.0), 0.02 + (3.0 - 366.0 / 365.0) * 0.01);
  EXPECT_TRUE(curve->is_interpolated());
  EXPECT_EQ(curve->day_count(), kAct365);
}

TEST(RateCurve, ContinuousRateDiscountsAsTheCurveDoes) {
  const auto interpolated_simple =
      RateCurve::interpolated(date(2024, 1, 1), {years(1), years(2)},
                              {rate(0.02, kAct360, Compounding::simple()), rate(0.03)});
  ASSERT_TRUE(interpolated_simple);
  EXPECT_EQ(interpolated_simple->day_count(), kAct360);
  const std::vector<RateCurve> curves{
      RateCurve::flat(rate(0.05, kAct365, Compounding::simple())),
      RateCurve::flat(rate(0.05, kAct365, Compounding::compounded(Frequency::Quarterly))),
      RateCurve::flat(rate(-0.01, kAct365, Compounding::compounded(Frequency::Annual))),
      *interpolated_simple};
  for (const RateCurve& curve : curves) {
    for (const double t : {1.0 / 365.0, 0.5, 1.0, 7.5}) {
      const double r = curve.continuous_rate(t);
      EXPECT_NEAR(std::exp(-r * t), curve.discount_factor(t), 1e-15) << t;
    }
    // The short end is the limit of the small times, and keeps its precision there.
    EXPECT_NEAR(curve.continuous_rate(0.0), curve.continuous_rate(1e-9), 1e-10);
  }
  EXPECT_NEAR(curves[0].continuous_rate(2.0), std::log(1.1) / 2.0, 1e-16);
  EXPECT_EQ(curves[0].continuous_rate(-1.0), 0.05);
  EXPECT_NEAR(curves[1].continuous_rate(0.0), 4.0 * std::log(1.0125), 1e-15);
}

TEST(RateCurve, ContinuousCompoundingKeepsTheZeroRateExactly) {
  const auto interpolated =
      RateCurve::interpolated(date(2024, 1, 1), {years(1), years(2)}, {rate(0.02), rate(0.03)});
  ASSERT_TRUE(interpolated);
  for (const double t : {0.0, 0.3, 1.7, 3.0}) {
    EXPECT_EQ(RateCurve::continuous(0.0312, kAct365).continuous_rate(t), 0.0312);
    EXPECT_EQ(RateCurve::flat(rate(0.0312)).continuous_rate(t), 0.0312);
    EXPECT_EQ(interpolated->continuous_rate(t), interpolated->zero_rate(t));
  }
  const RateCurve stc =
      RateCurve::flat(rate(0.05, kAct365, Compounding::simple_then_compounded(Frequency::Annual)));
  EXPECT_EQ(panic_text([&] { stc.continuous_rate(1.0); }),
            "not yet implemented: Implement other logic");
  EXPECT_EQ(panic_text([&] { stc.continuous_rate(0.0); }),
            "not yet implemented: Implement other logic");
}

TEST(RateCurve, EachNodeUsesItsOwnDayCount) {
  const auto curve =
      RateCurve::interpolated(date(2024, 1, 1), {{Tenor::Unit::Days, 30}, years(1), years(2)},
                              {rate(0.01, kAct360), rate(0.02, kAct360), rate(0.03, kAct365)});
  ASSERT_TRUE(curve);
  const auto xs = std::get<RateCurve::Interpolated>(curve->kind()).interpolator.xs();
  EXPECT_EQ(xs[0], 30.0 * 86400.0 / 31104000.0);
  EXPECT_EQ(xs[1], 366.0 * 86400.0 / 31104000.0);
  EXPECT_EQ(xs[2], 731.0 * 86400.0 / 31536000.0);
}

TEST(RateCurve, InterpolatedDiscountUsesTheFirstRatesCompounding) {
  const auto continuous =
      RateCurve::interpolated(date(2024, 1, 1), {years(1), years(2)},
                              {rate(0.02), rate(0.03, kAct365, Compounding::simple())});
  ASSERT_TRUE(continuous);
  for (const double t : {0.5, 1.5, 2.5}) {
    EXPECT_DOUBLE_EQ(continuous->discount_factor(t), std::exp(-continuous->zero_rate(t) * t));
  }

  const auto simple =
      RateCurve::interpolated(date(2024, 1, 1), {years(1), years(2)},
                              {rate(0.02, kAct365, Compounding::simple()), rate(0.03)});
  ASSERT_TRUE(simple);
  EXPECT_DOUBLE_EQ(simple->discount_factor(1.5), 1.0 / (1.0 + simple->zero_rate(1.5) * 1.5));
}

TEST(RateCurve, ConstructionErrors) {
  const Date reference = date(2024, 1, 1);
  const struct {
    std::vector<Tenor> tenors;
    std::vector<InterestRate> rates;
    std::string text;
  } cases[] = {
      {{years(2), years(1)}, {rate(0.03), rate(0.02)}, "Interpolation(NotMonotonic)"},
      {{years(1), years(1)}, {rate(0.02), rate(0.03)}, "Interpolation(NotMonotonic)"},
      {{years(1)}, {rate(0.02)}, "Interpolation(InsufficientPoints)"},
      {{}, {}, "Interpolation(InsufficientPoints)"},
      {{years(1), years(2)}, {rate(0.02)}, "LengthMismatch"},
      // The lengths are compared before any tenor is advanced.
      {{{Tenor::Unit::Months, -1}, years(2)}, {rate(0.02)}, "LengthMismatch"},
  };
  for (const auto& c : cases) {
    const auto curve = RateCurve::interpolated(reference, c.tenors, c.rates);
    ASSERT_FALSE(curve) << c.text;
    EXPECT_EQ(curve.error().debug_text(), c.text);
  }
}

TEST(RateCurve, TenorFailuresPropagate) {
  EXPECT_EQ(panic_text([] {
              RateCurve::interpolated(date(2024, 1, 1), {{Tenor::Unit::Months, -1}, years(2)},
                                      {rate(0.02), rate(0.03)});
            }),
            "`NaiveDate + Months` out of range");
}

}  // namespace
}  // namespace vyr
