#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "fdm_allocation_counter.hpp"
#include "fdm_test_support.hpp"

namespace vyr {
namespace {

using fdm_test::after;
using fdm_test::after_years;
using fdm_test::closed_form;
using fdm_test::config;
using fdm_test::fdm;
using fdm_test::kYear;
using fdm_test::Market;

constexpr OptionType kCall = OptionType::Call;
constexpr OptionType kPut = OptionType::Put;
constexpr ExerciseStyle kEuropean = ExerciseStyle::European;
constexpr ExerciseStyle kAmerican = ExerciseStyle::American;

std::string panic_text(OptionType type, double years, const FdmConfig& c) {
  try {
    fdm(type, kAmerican, 100.0, years, Market{}, c);
  } catch (const Panic& e) {
    return e.what();
  }
  return "no panic";
}

TEST(FdmPricer, DefaultEuropeanCallIsCloseToTheClosedForm) {
  const PricingResult r = fdm(kCall, kEuropean, 100.0, 1.0, Market{});
  const PricingResult exact =
      pricing_test::closed_form(VanillaOption{100.0, after(kYear), kCall, kEuropean},
                                fdm_test::valuation(), 100.0, 0.2, 0.05, 0.0);
  EXPECT_NEAR(r.price, exact.price, 2e-3);
  EXPECT_NEAR(r.delta, exact.delta, 1e-3);
  EXPECT_NEAR(r.gamma, exact.gamma, 1e-4);
  EXPECT_NEAR(r.theta, exact.theta, 5e-3);
  EXPECT_FALSE(r.vega.has_value());
  EXPECT_FALSE(r.rho.has_value());
}

struct ConvergenceCase {
  TransformKind kind;
  OptionType type;
  double spot;  // 100 at the strike; 50 and 200 near the edges of the grid
};

class EuropeanConvergence : public ::testing::TestWithParam<ConvergenceCase> {};

TEST_P(EuropeanConvergence, ApproachesTheClosedFormAsTheGridIsRefined) {
  const auto [kind, type, spot] = GetParam();
  const Market m{spot, 0.2, 0.05, 0.03};
  const double exact = closed_form(type, 100.0, 1.0, m);
  double previous = INFINITY;
  for (const auto& [nodes, steps] : {std::pair{101u, 25u}, {201u, 50u}, {401u, 100u}}) {
    const double error =
        std::fabs(fdm(type, kEuropean, 100.0, 1.0, m, config(nodes, steps, kind)).price - exact);
    EXPECT_LT(error, previous * 0.8 + 2e-5) << nodes << " nodes";
    previous = error;
  }
  EXPECT_LT(previous, 5e-4);
}

INSTANTIATE_TEST_SUITE_P(
    Grids, EuropeanConvergence,
    ::testing::Values(ConvergenceCase{TransformKind::Sinh, OptionType::Call, 100.0},
                      ConvergenceCase{TransformKind::Sinh, OptionType::Put, 100.0},
                      ConvergenceCase{TransformKind::Sinh, OptionType::Call, 200.0},
                      ConvergenceCase{TransformKind::Sinh, OptionType::Put, 50.0},
                      ConvergenceCase{TransformKind::Log, OptionType::Call, 100.0},
                      ConvergenceCase{TransformKind::Log, OptionType::Call, 200.0},
                      ConvergenceCase{TransformKind::Log, OptionType::Put, 50.0}),
    [](const ::testing::TestParamInfo<ConvergenceCase>& info) {
      return std::string(info.param.kind == TransformKind::Log ? "Log" : "Sinh") +
             (info.param.type == OptionType::Call ? "Call" : "Put") +
             std::to_string(static_cast<int>(info.param.spot));
    });

TEST(FdmPricer, InTheMoneyEuropeansPriceAtTheClosedFormNearTheGridEdge) {
  // The slope condition sits on the grid's own nodes; pinning the edge values instead leaves a
  // bias that refinement never removes.
  struct Case {
    OptionType type;
    double spot, q, years;
  };
  for (const Case c : {Case{kCall, 200.0, 0.02, 1.0}, Case{kCall, 130.0, 0.0, 3.0},
                       Case{kPut, 60.0, 0.03, 1.0}, Case{kCall, 180.0, 0.08, 2.0}}) {
    const Market m{c.spot, 0.2, 0.05, c.q};
    const double exact = closed_form(c.type, 100.0, c.years, m);
    EXPECT_NEAR(fdm(c.type, kEuropean, 100.0, c.years, m).price, exact, 5e-4 * exact + 2e-3)
        << c.spot;
    EXPECT_NEAR(fdm(c.type, kEuropean, 100.0, c.years, m, config(401, 100)).price, exact,
                2e-5 * exact + 1e-4)
        << c.spot;
  }
}

TEST(FdmPricer, AmericanPutMatchesPublishedValueAndExceedsEuropean) {
  const Market m{36.0, 0.2, 0.06, 0.0};
  const double european = closed_form(kPut, 40.0, 1.0, m);
  const double coarse = fdm(kPut, kAmerican, 40.0, 1.0, m).price;
  const double fine = fdm(kPut, kAmerican, 40.0, 1.0, m, config(801, 400)).price;
  EXPECT_GT(coarse, european + 0.5);
  EXPECT_NEAR(coarse, 4.4867, 1e-2);
  EXPECT_NEAR(fine, 4.4867, 1e-3);
}

TEST(FdmPricer, AmericanPutNeverBelowEuropeanWhateverTheStrike) {
  // Strikes land the middle node on either side of K by rounding; the strike node must not be
  // counted in the money.
  const Market m{100.0, 0.2, 0.05, 0.0};
  for (double strike = 80.0; strike <= 125.0; strike += 0.173) {
    const double american = fdm(kPut, kAmerican, strike, 1.0, m).price;
    const double european = fdm(kPut, kEuropean, strike, 1.0, m).price;
    EXPECT_GT(american, european) << strike;
  }
}

TEST(FdmPricer, AmericanPutWithoutRateIsEuropean) {
  // With r = 0 exercising a put early never pays, whatever the yield: the American price is the
  // European one. In-the-money nodes that gain value in time must not be held stationary, and
  // the lower edge follows the European far field once it leaves its exercise value.
  for (const double q : {0.02, 0.08}) {
    for (const double spot : {70.0, 80.0, 90.0, 100.0, 110.0}) {
      const Market m{spot, 0.1, 0.0, q};
      const double american = fdm(kPut, kAmerican, 100.0, 1.0, m).price;
      const double european = fdm(kPut, kEuropean, 100.0, 1.0, m).price;
      EXPECT_NEAR(american, european, 2e-4) << "q " << q << " spot " << spot;
    }
  }
}

TEST(FdmPricer, DeepInTheMoneyAmericanPutIsItsExerciseValue) {
  const PricingResult r = fdm(kPut, kAmerican, 100.0, 1.0, Market{60.0, 0.2, 0.05, 0.0});
  EXPECT_NEAR(r.price, 40.0, 1e-9);
  EXPECT_NEAR(r.delta, -1.0, 1e-6);
  EXPECT_NEAR(r.theta, 0.0, 1e-9);
}

TEST(FdmPricer, AmericanCallWithHighYieldNeverBelowIntrinsic) {
  for (double spot = 40.0; spot <= 250.0; spot += 1.5) {
    const double price = fdm(kCall, kAmerican, 100.0, 1.0, Market{spot, 0.2, 0.05, 0.10}).price;
    EXPECT_GT(price, std::max(spot - 100.0, 0.0) - 0.01) << spot;
  }
}

TEST(FdmPricer, AmericanCallWithoutYieldIsEuropean) {
  const Market m{110.0, 0.25, 0.05, 0.0};
  EXPECT_NEAR(fdm(kCall, kAmerican, 100.0, 1.0, m, config(201, 50)).price,
              closed_form(kCall, 100.0, 1.0, m), 2e-3);
}

TEST(FdmPricer, SpotOutsideTheStrikeCentredRangeIsPricedOnAWiderGrid) {
  // One week: the plain range is about 100 · exp(±0.11).
  const double years = 7.0 / 365.0;
  struct Case {
    OptionType type;
    ExerciseStyle style;
    double spot;
  };
  for (const Case c :
       {Case{kCall, kEuropean, 400.0}, Case{kCall, kAmerican, 400.0}, Case{kPut, kEuropean, 20.0},
        Case{kPut, kAmerican, 20.0}, Case{kCall, kEuropean, 60.0}, Case{kPut, kAmerican, 180.0}}) {
    const Market m{c.spot, 0.2, 0.05, 0.0};
    const PricingResult r = fdm(c.type, c.style, 100.0, years, m);
    const double exact = closed_form(c.type, 100.0, years, m);
    const double intrinsic = std::max(c.type == kCall ? c.spot - 100.0 : 100.0 - c.spot, 0.0);
    EXPECT_NEAR(r.price, c.style == kEuropean ? exact : std::max(exact, intrinsic), 2e-3) << c.spot;
    EXPECT_NEAR(r.delta,
                c.spot > 100 ? (c.type == kCall ? 1.0 : 0.0) : (c.type == kPut ? -1.0 : 0.0), 1e-3)
        << c.spot;
  }
}

TEST(FdmPricer, GridCoversTheSpotLessTheDividendsTheMarchApplies) {
  // Two weeks, a dividend of 60 after one: the march ends on the grid shifted by 60, which must
  // still reach the spot. Just after the ex-date the put is deep in the money and exercised, so
  // its value is e^(−r·t)·(K + D) − S.
  const double years = 14.0 / 365.0;
  const double t = 7.0 / 365.0;
  const std::vector<Dividend> dividend{{after(7 * 86400), 60.0}};
  const Market m{100.0, 0.2, 0.05, 0.0};
  const PricingResult american = fdm(kPut, kAmerican, 100.0, years, m, FdmConfig{}, dividend);
  EXPECT_NEAR(american.price, 160.0 * std::exp(-0.05 * t) - 100.0, 1e-3);
  EXPECT_NEAR(american.delta, -1.0, 1e-3);
  // Over so short a time the European is the closed form on the spot less the present dividend.
  const Market reduced{100.0 - 60.0 * std::exp(-0.05 * t), 0.2, 0.05, 0.0};
  EXPECT_NEAR(fdm(kPut, kEuropean, 100.0, years, m, FdmConfig{}, dividend).price,
              closed_form(kPut, 100.0, years, reduced), 1e-3);
}

TEST(FdmPricer, DividendsOnOneDateAreAppliedAsTheirSum) {
  const Market m{100.0, 0.25, 0.05, 0.0};
  const std::vector<Dividend> split{{after(kYear / 2), 1.0}, {after(kYear / 2), 2.0}};
  const std::vector<Dividend> whole{{after(kYear / 2), 3.0}};
  for (const ExerciseStyle style : {kEuropean, kAmerican}) {
    for (const OptionType type : {kCall, kPut}) {
      EXPECT_EQ(fdm(type, style, 100.0, 1.0, m, FdmConfig{}, split).price,
                fdm(type, style, 100.0, 1.0, m, FdmConfig{}, whole).price);
    }
  }
}

TEST(FdmPricer, CloseDividendsAreEachAppliedOnce) {
  const Market m{100.0, 0.25, 0.05, 0.0};
  // One second apart, far below any tolerance on times.
  const std::vector<Dividend> close{{after(kYear / 2), 1.0}, {after(kYear / 2 + 1), 2.0}};
  const std::vector<Dividend> whole{{after(kYear / 2), 3.0}};
  for (const OptionType type : {kCall, kPut}) {
    const double a = fdm(type, kAmerican, 100.0, 1.0, m, config(201, 50), close).price;
    const double b = fdm(type, kAmerican, 100.0, 1.0, m, config(201, 50), whole).price;
    EXPECT_NEAR(a, b, 1e-3);
  }
}

TEST(FdmPricer, DividendsOutsideTheLifeChangeNothing) {
  const Market m{100.0, 0.25, 0.05, 0.0};
  const double plain = fdm(kCall, kAmerican, 100.0, 1.0, m).price;
  const std::vector<Dividend> outside{{after(0), 5.0},         {after(kYear), 5.0},
                                      {after(-10), 5.0},       {after(2 * kYear), 5.0},
                                      {after(kYear / 2), 0.0}, {after(kYear / 3), -1.0},
                                      {after(kYear / 4), NAN}};
  // Ignored amounts still split the march into intervals, so the price moves by grid error.
  EXPECT_NEAR(fdm(kCall, kAmerican, 100.0, 1.0, m, FdmConfig{}, outside).price, plain, 2e-3);
  const std::vector<Dividend> edges{{after(0), 5.0}, {after(kYear), 5.0}};
  EXPECT_EQ(fdm(kCall, kAmerican, 100.0, 1.0, m, FdmConfig{}, edges).price, plain);
  // A dividend inside lowers a call.
  const std::vector<Dividend> inside{{after(kYear / 2), 5.0}};
  EXPECT_LT(fdm(kCall, kAmerican, 100.0, 1.0, m, FdmConfig{}, inside).price, plain - 2.0);
}

TEST(FdmPricer, ValuationAtOrAfterExpiryReportsThatTheSolverNeverRan) {
  for (const double years : {0.0, -0.5}) {
    EXPECT_EQ(panic_text(kPut, years, FdmConfig{}), "Solver never ran");
  }
}

TEST(FdmPricer, FewerThanThreeNodesReportTheNodeCount) {
  for (const std::uint64_t nodes : {1u, 2u}) {
    EXPECT_EQ(panic_text(kPut, 1.0, config(nodes, 10)),
              "TridiagonalOperator requires at least 3 elements, found " + std::to_string(nodes));
  }
  // The node count is checked before the time to expiry.
  EXPECT_EQ(panic_text(kPut, 0.0, config(1, 10)),
            "TridiagonalOperator requires at least 3 elements, found 1");
}

TEST(FdmPricer, GridsTooLargeForMemoryThrowBadAllocBeforeAllocating) {
  for (const std::uint64_t nodes : {std::uint64_t{1} << 40, std::uint64_t{1} << 62,
                                    std::numeric_limits<std::uint64_t>::max()}) {
    EXPECT_THROW(fdm(kPut, kAmerican, 100.0, 1.0, Market{}, config(nodes, 10)), std::bad_alloc);
  }
}

TEST(FdmPricer, NonFiniteInputsPropagateWithoutFailing) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  for (const Market m :
       {Market{100.0, nan, 0.05, 0.0}, Market{100.0, 0.2, nan, 0.0}, Market{100.0, 0.2, 0.05, nan},
        Market{nan, 0.2, 0.05, 0.0}, Market{100.0, INFINITY, 0.05, 0.0}}) {
    for (const ExerciseStyle style : {kEuropean, kAmerican}) {
      EXPECT_TRUE(std::isnan(fdm(kPut, style, 100.0, 1.0, m).price));
    }
  }
  const std::vector<Dividend> odd{{after(kYear / 2), INFINITY}};
  EXPECT_NO_THROW(fdm(kPut, kAmerican, 100.0, 1.0, Market{}, FdmConfig{}, odd));
  EXPECT_NO_THROW(
      fdm(kPut, kAmerican, 100.0, 1.0, Market{}, config(101, 10, TransformKind::Sinh, -1.0)));
}

TEST(FdmPricer, AllocationsPerPricingDoNotGrowWithTheGrid) {
  if (!fdm_test::counting()) {
    GTEST_SKIP() << "operator new is replaced elsewhere in this binary";
  }
  const std::vector<double> times{0.25, 0.5};
  const std::vector<double> amounts{1.0, 1.0};
  const PricingInputs inputs{kPut, kAmerican, 100.0, 1.0, 100.0, 0.2, 0.05, 0.0};
  std::vector<std::uint64_t> counts;
  for (const auto& [nodes, steps, count] : {std::tuple{101u, 10u, 0u},
                                            {101u, 200u, 0u},
                                            {401u, 10u, 0u},
                                            {101u, 10u, 2u},
                                            {301u, 100u, 2u}}) {
    const std::uint64_t before = fdm_test::allocations();
    FdmPricer::price(inputs, std::span(times).first(count), std::span(amounts).first(count),
                     config(nodes, steps));
    counts.push_back(fdm_test::allocations() - before);
  }
  for (const std::uint64_t c : counts) {
    EXPECT_EQ(c, counts[0]);
  }
}

}  // namespace
}  // namespace vyr
