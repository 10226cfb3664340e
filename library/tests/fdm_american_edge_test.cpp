// The in-the-money edge of American grids: exercised edges keep their slope, edges that leave the
// exercise value follow the European far field, the grid keeps the edge clear of the exercise
// boundary, and theta is right in the outermost interval.
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

#include "fdm_test_support.hpp"
#include "methods/finite_difference/grids/exercise_boundary_range.hpp"

namespace vyr {
namespace {

using fdm_test::closed_form;
using fdm_test::config;
using fdm_test::fdm;
using fdm_test::Market;

constexpr OptionType kCall = OptionType::Call;
constexpr OptionType kPut = OptionType::Put;
constexpr ExerciseStyle kEuropean = ExerciseStyle::European;
constexpr ExerciseStyle kAmerican = ExerciseStyle::American;

TEST(ExerciseBoundaryRange, PerpetualBoundaryIsTheNegativeRoot) {
  for (const auto& [sigma, r, q] : {std::tuple{0.25, 0.02, 0.08},
                                    {0.5, 0.08, 0.0},
                                    {0.01, 0.05, 0.0},
                                    {0.01, 0.02, 0.05},
                                    {3.0, 0.1, 0.3}}) {
    const ExerciseBoundaryRange range = put_exercise_boundary_range(100.0, sigma, r, q);
    EXPECT_EQ(range.start, q > r ? 100.0 * r / q : 100.0);
    // S∞ = K·β/(β − 1) with σ²/2·β(β − 1) + (r − q)·β − r = 0.
    const double beta = range.perpetual / (range.perpetual - 100.0);
    EXPECT_LT(beta, 0.0);
    EXPECT_NEAR(sigma * sigma / 2.0 * beta * (beta - 1.0) + (r - q) * beta - r, 0.0, 1e-11);
    EXPECT_LE(range.perpetual, range.start);
  }
  // Without a positive rate early exercise of a put never pays.
  for (const double r : {0.0, -0.01, std::nan("")}) {
    EXPECT_TRUE(std::isnan(put_exercise_boundary_range(100.0, 0.2, r, 0.03).start));
  }
}

TEST(ExerciseBoundaryRange, WidensOnlyAnInTheMoneyEdgeNearTheBoundary) {
  const auto widened = [](OptionType type, ExerciseStyle style, double sigma, double years,
                          double r, double q) {
    const SpotRange plain = centred_spot_range(100.0, sigma, years, 4.0, 100.0);
    const SpotRange range =
        clear_of_exercise_boundary(plain, type, style, 100.0, sigma, years, r, q);
    return std::pair{plain, range};
  };
  // A put whose yield exceeds its rate: the boundary lies in [17.0, 25], at the plain edge.
  const auto [plain, range] = widened(kPut, kAmerican, 0.25, 2.0, 0.02, 0.08);
  const ExerciseBoundaryRange boundary = put_exercise_boundary_range(100.0, 0.25, 0.02, 0.08);
  EXPECT_GT(plain.s_min, boundary.perpetual);
  EXPECT_LT(range.s_min, boundary.perpetual);
  EXPECT_NEAR(std::log(range.s_max / 100.0), -std::log(range.s_min / 100.0), 1e-12);

  // A yield of 1000 %: the boundary starts at K·r/q = 0.5, far below an edge that diffusion alone
  // would never carry the spot from, but the drift does within the life.
  const auto [fast_plain, fast] = widened(kPut, kAmerican, 0.01, 30.0, 0.05, 10.0);
  EXPECT_GT(fast_plain.s_min, 50.0);
  EXPECT_LT(fast.s_min, 0.5);

  // The mirror image for a call with r > q; nothing for Europeans, nothing where the edge is
  // already deep in the exercise region (r > q puts), nothing without early exercise.
  const auto [call_plain, call_range] = widened(kCall, kAmerican, 0.25, 2.0, 0.08, 0.02);
  EXPECT_NEAR(call_range.s_max, 100.0 * 100.0 / range.s_min, 1e-9);
  for (const auto& [type, style, r, q] : {std::tuple{kPut, kEuropean, 0.02, 0.08},
                                          {kPut, kAmerican, 0.08, 0.0},
                                          {kPut, kAmerican, 0.0, 0.08},
                                          {kCall, kAmerican, 0.05, 0.0},
                                          {kCall, kAmerican, 0.05, -0.02}}) {
    const auto [p, w] = widened(type, style, 0.25, 2.0, r, q);
    EXPECT_EQ(p.s_min, w.s_min);
    EXPECT_EQ(p.s_max, w.s_max);
  }
}

TEST(AmericanEdge, ExercisedEdgesPriceBitForBitAsBefore) {
  // Values of grids whose in-the-money edge stays on its exercise value, recorded before the
  // edge condition learnt to leave it: such grids must not move.
  struct Case {
    OptionType type;
    Market market;
    double years;
    unsigned nodes, steps;
    double price, delta, gamma, theta;
  };
  const Case cases[] = {
      {kPut,
       {100, 0.2, 0.05, 0.0},
       1.0,
       101,
       10,
       0x1.85df4707e7306p+2,
       -0x1.a418cc91e0d6ep-2,
       0x1.767aea44fad65p-6,
       -0x1.1ba72a17969fep+1},
      {kPut,
       {90, 0.3, 0.08, 0.02},
       2.0,
       201,
       50,
       0x1.048e7f45e3181p+4,
       -0x1.ff0df2e95c1fcp-2,
       0x1.f3caa34256e6dp-7,
       -0x1.8fed66f1ce791p+0},
      {kPut,
       {110, 0.25, 0.05, 0.05},
       0.5,
       101,
       10,
       0x1.aede6e51e4c31p+1,
       -0x1.0a211e11058p-2,
       0x1.0f748018d8c0fp-6,
       -0x1.862fd294a13a3p+2},
      {kCall,
       {120, 0.2, 0.03, 0.06},
       1.0,
       101,
       10,
       0x1.4719146b81e71p+4,
       0x1.c1ef7623bc1e3p-1,
       0x1.28fe98d85b052p-6,
       -0x1.44158d0bdb974p+0},
      {kCall,
       {100, 0.4, 0.0, 0.04},
       3.0,
       401,
       200,
       0x1.5d78369de0c9p+4,
       0x1.1d30f2c26dcc5p-1,
       0x1.904c052303c69p-8,
       -0x1.5452d42468p+1},
  };
  for (const Case& c : cases) {
    const PricingResult r =
        fdm(c.type, kAmerican, 100.0, c.years, c.market, config(c.nodes, c.steps));
    EXPECT_EQ(r.price, c.price);
    EXPECT_EQ(r.delta, c.delta);
    EXPECT_EQ(r.gamma, c.gamma);
    EXPECT_EQ(r.theta, c.theta);
  }
}

TEST(AmericanEdge, PutWithYieldAboveTheRateConvergesToTheTrueValue) {
  // S = 25 on the plain grid's edge; the true value 75.18859 (a fixed-point solution of the
  // exercise boundary, and a 3,000-step tree). The edge once stayed on a slope of −1 and every
  // grid converged to 75.55.
  const Market m{25.0, 0.25, 0.02, 0.08};
  EXPECT_NEAR(fdm(kPut, kAmerican, 100.0, 2.0, m, config(801, 800)).price, 75.18859, 1e-3);
  EXPECT_NEAR(fdm(kPut, kAmerican, 100.0, 2.0, m).price, 75.18859, 1e-2);
}

struct Regime {
  OptionType type;
  double r, q;
};

class AmericanBounds : public ::testing::TestWithParam<Regime> {};

TEST_P(AmericanBounds, NeverBelowEuropeanOrExerciseValue) {
  const auto [type, r, q] = GetParam();
  for (const double sigma : {0.1, 0.4}) {
    for (const double years : {0.25, 2.0}) {
      for (const double spot : {40.0, 70.0, 95.0, 105.0, 140.0, 250.0}) {
        const Market m{spot, sigma, r, q};
        const double american = fdm(type, kAmerican, 100.0, years, m, config(201, 100)).price;
        const double european = closed_form(type, 100.0, years, m);
        const double intrinsic = std::max(type == kCall ? spot - 100.0 : 100.0 - spot, 0.0);
        EXPECT_GT(american, european - 2e-3 * (1.0 + european)) << spot << " " << sigma;
        EXPECT_GT(american, intrinsic - 1e-9) << spot << " " << sigma;
      }
    }
  }
}

// The regimes where an in-the-money edge may leave its exercise value, and two where it does not.
INSTANTIATE_TEST_SUITE_P(Regimes, AmericanBounds,
                         ::testing::Values(Regime{kPut, 0.02, 0.08}, Regime{kPut, 0.0, 0.05},
                                           Regime{kPut, 0.05, 0.0}, Regime{kCall, 0.05, -0.02},
                                           Regime{kCall, 0.08, 0.02}, Regime{kCall, 0.02, 0.08}));

TEST(AmericanEdge, ThetaAtTheGridEdgeMatchesAWiderFineGrid) {
  // The spot on the default grid's upper edge, S_max = K·e^(4σ√T); the reference grid reaches
  // well beyond it.
  for (const auto& [style, r, q] : {std::tuple{kEuropean, 0.05, 0.0},
                                    {kEuropean, 0.02, 0.05},
                                    {kAmerican, 0.05, -0.02},
                                    {kAmerican, 0.05, 0.0}}) {
    const double sigma = 0.25;
    const double years = 2.0;
    const double s_max = std::exp(std::log(100.0) + 4.0 * sigma * std::sqrt(years));
    for (const double spot : {s_max, 0.995 * s_max}) {
      const Market m{spot, sigma, r, q};
      const double theta = fdm(kCall, style, 100.0, years, m).theta;
      const double reference =
          fdm(kCall, style, 100.0, years, m, config(1601, 800, TransformKind::Sinh, 8.0)).theta;
      EXPECT_NEAR(theta, reference, 1e-2 * std::fabs(reference)) << spot << " " << q;
    }
  }
}

}  // namespace
}  // namespace vyr
