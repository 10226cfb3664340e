// American grids: exercised edges keep their slope, edges that leave the exercise value follow the
// European far field, the grid keeps the edge clear of the exercise boundary, theta is right in
// the outermost interval, and stages solved above the exercise value converge in time.
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

TEST(AmericanGrid, ConvergesInTimeToTheTrueValue) {
  // The at-the-money put (true value 6.0903706, a fixed-point solution of the exercise boundary):
  // each stage solved above the exercise value converges as the steps grow, where a linear solve
  // raised afterwards stalls 4e-4 short however many steps it takes.
  const Market m{100.0, 0.2, 0.05, 0.0};
  const double truth = 6.0903706065;
  double previous_error = 1.0;
  for (const unsigned steps : {20u, 80u, 320u}) {
    const double error = fdm(kPut, kAmerican, 100.0, 1.0, m, config(801, steps)).price - truth;
    EXPECT_LT(std::fabs(error), previous_error / 2.5) << steps;
    previous_error = std::fabs(error);
  }
  EXPECT_LT(previous_error, 5e-5);
}

TEST(AmericanGrid, StationaryValueDoesNotDependOnTheStep) {
  // A yield of 1000 %: within a few hundredths of a year the call's value settles on its
  // perpetual one, 0.16518 at the strike, in a layer of log-width 1/β ≈ 1/223 below a boundary at
  // 100.45. The floored solve reaches that steady state whatever the step (raised linear solves
  // read 0.111 at 640 steps and 0.163 at 64,000), and nodes concentrated on the layer resolve it.
  const Market m{100.0, 0.3, 0.0, 10.0};
  const double coarse = fdm(kCall, kAmerican, 100.0, 1.0, m, config(801, 640)).price;
  const double fine = fdm(kCall, kAmerican, 100.0, 1.0, m, config(801, 6400)).price;
  EXPECT_NEAR(coarse, fine, 1e-12);
  EXPECT_NEAR(coarse, 0.165176, 2e-4);
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
