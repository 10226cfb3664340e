// The exercise boundary of the fixed-point pricer: the QD+ start and the collocated solution.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "methods/fixed_point/american_put.hpp"
#include "methods/fixed_point/chebyshev_interpolation.hpp"
#include "methods/fixed_point/exercise_boundary.hpp"
#include "methods/fixed_point/qd_plus_boundary.hpp"

namespace vyr::fixed_point {
namespace {

struct BoundaryCase {
  AmericanPut put;
  const char* name;
};

// B(τ) from the solved boundary at any time to maturity τ <= horizon.
double boundary_at(const ExerciseBoundary& b, double tau) {
  const double exponent = b.put().off_strike() ? kOffStrikeExponent : kAtStrikeExponent;
  const double z = 2.0 * std::pow(tau / b.horizon(), 1.0 / exponent) - 1.0;
  const double h = chebyshev_sum(b.coefficients(), b.degree(), z);
  return std::exp(b.log_limit() - std::sqrt(std::max(h, 0.0)));
}

class Boundary : public ::testing::TestWithParam<BoundaryCase> {};

TEST_P(Boundary, QdPlusStartIsWithinAFewPercentOfTheSolution) {
  const AmericanPut& put = GetParam().put;
  const ExerciseBoundary solved(put, FixedPointSettings::high_accuracy(), false);
  std::vector<double> tau;
  for (const double fraction : {1e-6, 1e-4, 0.01, 0.1, 0.3, 0.6, 1.0}) {
    tau.push_back(fraction * solved.horizon());
  }
  std::vector<double> g(tau.size());
  qd_plus_boundary(put, tau.data(), tau.size(), g.data());
  const double limit = put.exercise_limit();
  for (std::size_t i = 0; i < tau.size(); ++i) {
    const double qd = limit * std::exp(-g[i]);
    EXPECT_GT(g[i], 0.0);
    EXPECT_LE(qd, limit);
    EXPECT_GE(qd, put.perpetual_boundary());
    if (i > 0) {
      EXPECT_GE(g[i], g[i - 1]) << "QD+ boundary rises with the time to maturity at " << tau[i];
    }
    EXPECT_NEAR(qd / boundary_at(solved, tau[i]), 1.0, 0.03) << "τ = " << tau[i];
  }
}

TEST_P(Boundary, SolutionFallsFromItsLimitTowardsThePerpetualBoundary) {
  const AmericanPut& put = GetParam().put;
  const ExerciseBoundary b(put, FixedPointSettings{}, false);
  const double limit = put.exercise_limit();
  const double perpetual = put.perpetual_boundary();
  double previous = limit;
  for (int i = 1; i <= 200; ++i) {
    const double tau = b.horizon() * std::pow(i / 200.0, 3.0);
    const double value = boundary_at(b, tau);
    EXPECT_LE(value, previous * (1.0 + 1e-9)) << "at τ = " << tau;
    EXPECT_GT(value, perpetual);
    previous = value;
  }
  EXPECT_NEAR(b.at_maturity() / boundary_at(b, b.horizon()), 1.0, 1e-14);
  // Just before expiry the boundary is at its limit: the strike, or K·r/q when the yield exceeds
  // the rate.
  EXPECT_NEAR(boundary_at(b, 1e-8 * b.horizon()) / limit, 1.0, 5e-3);
}

TEST_P(Boundary, DefaultSettingsAgreeWithTheHighAccuracyPreset) {
  const AmericanPut& put = GetParam().put;
  const ExerciseBoundary coarse(put, FixedPointSettings{}, false);
  const ExerciseBoundary fine(put, FixedPointSettings::high_accuracy(), false);
  for (const double fraction : {0.01, 0.2, 0.5, 0.9, 1.0}) {
    const double tau = fraction * fine.horizon();
    EXPECT_NEAR(boundary_at(coarse, tau) / boundary_at(fine, tau), 1.0, 2e-5) << "τ = " << tau;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Regimes, Boundary,
    ::testing::Values(BoundaryCase{{100, 1.0, 0.2, 0.05, 0.0}, "NoYield"},
                      BoundaryCase{{100, 3.0, 0.5, 0.08, 0.04}, "YieldBelowRate"},
                      BoundaryCase{{100, 0.5, 0.25, 0.05, 0.05}, "YieldEqualsRate"},
                      BoundaryCase{{100, 2.0, 0.3, 0.03, 0.08}, "YieldAboveRate"},
                      BoundaryCase{{100, 1.0, 0.25, 0.0, -0.03}, "NoRateNegativeYield"},
                      BoundaryCase{{100, 1.0 / 365, 0.2, 0.05, 0.0}, "OneDay"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Boundary, OffStrikeBoundaryUsesItsOwnNodeCount) {
  FixedPointSettings settings;
  settings.collocation_nodes = 6;
  settings.collocation_nodes_off_strike = 10;
  EXPECT_EQ(ExerciseBoundary({100, 1.0, 0.2, 0.05, 0.02}, settings, false).degree(), 6u);
  EXPECT_EQ(ExerciseBoundary({100, 1.0, 0.2, 0.05, 0.08}, settings, false).degree(), 10u);
}

TEST(Boundary, LongMaturitySettlesOnThePerpetualBoundary) {
  // γ = r + (r − q − σ²/2)²/(2σ²) = 0.18 + 0.16²/0.08 = 0.5 per year: the boundary is solved
  // for up to 30/γ = 60 years and held there.
  const AmericanPut put{100, 400.0, 0.2, 0.18, 0.0};
  EXPECT_NEAR(put.boundary_horizon(), 60.0, 1e-9);
  const ExerciseBoundary b(put, FixedPointSettings::high_accuracy(), false);
  EXPECT_NEAR(b.at_maturity() / put.perpetual_boundary(), 1.0, 1e-8);
}

}  // namespace
}  // namespace vyr::fixed_point
