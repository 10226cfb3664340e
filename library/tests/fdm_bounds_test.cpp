// What keeps grid prices sound for any finite input: monotone stencils where the drift
// dominates, coefficients that do not overflow, a spot kept clear of the grid's edges, calls on
// wide distributions priced through the put, bounds at the read, and clear refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "core/error.hpp"
#include "fdm_test_support.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/uniform.hpp"

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

struct OwnedOperator {
  OwnedOperator(TransformKind kind, std::size_t n, double s_min, double s_max,
                const FdmProcess& process)
      : grid_storage(Grid::storage_size(n)),
        grid(build_uniform_grid(CoordinateTransform(kind, 100.0, 0.3),
                                CoordinateTransform(kind, 100.0, 0.3).to_x(s_min),
                                CoordinateTransform(kind, 100.0, 0.3).to_x(s_max), n,
                                grid_storage)),
        storage(TridiagonalOperator::storage_size(n)),
        op(process.build_operator(grid, storage)) {}
  std::vector<double> grid_storage;
  Grid grid;
  std::vector<double> storage;
  TridiagonalOperator op;
};

// The central row of the operator at node i, as the stencils define it.
std::tuple<double, double, double> central_row(const Grid& grid, const FdmProcess& p,
                                               std::size_t i) {
  const double s = grid.s_of_x()[i];
  const double s1 = grid.ds_dx()[i];
  const double s2 = grid.d2s_dx2()[i];
  const double half_variance = p.sigma * p.sigma / 2.0;
  const double s_sq = s * s;
  const double a = (p.r - p.q) * s / s1 - half_variance * s_sq * s2 / (s1 * s1 * s1);
  const double b = half_variance * s_sq / (s1 * s1);
  const double hm = grid.h_minus(i);
  const double hp = grid.h_plus(i);
  const double e = hm * hp * (hm + hp);
  return {-a * (hp * hp) / e + 2.0 * b * hp / e,
          a * (hp * hp - hm * hm) / e - 2.0 * b * (hm + hp) / e - p.r,
          a * (hm * hm) / e + 2.0 * b * hm / e};
}

TEST(DriftDominatedRows, ElsewhereTheCentralStencilsStayExactly) {
  const FdmProcess process{0.05, 0.02, 0.2};
  const OwnedOperator o(TransformKind::Sinh, 101, 45.0, 220.0, process);
  for (std::size_t i = 1; i < 100; ++i) {
    const auto [lower, diag, upper] = central_row(o.grid, process, i);
    EXPECT_EQ(o.op.lower()[i], lower) << i;
    EXPECT_EQ(o.op.diag()[i], diag) << i;
    EXPECT_EQ(o.op.upper()[i], upper) << i;
  }
}

TEST(DriftDominatedRows, NoNeighbourWeighsNegativelyAndRowsKeepTheirDiscounting) {
  // A yield of 1000 % and a volatility of 1 %: the drift dominates in every cell.
  for (const auto& [r, q, sigma] :
       {std::tuple{0.1, 10.0, 0.01}, {0.0, 0.5, 0.01}, {0.2, 0.0, 0.01}, {0.05, 3.0, 0.05}}) {
    const FdmProcess process{r, q, sigma};
    const OwnedOperator o(TransformKind::Sinh, 201, 80.0, 125.0, process);
    bool upwinded = false;
    for (std::size_t i = 1; i < 200; ++i) {
      EXPECT_GE(o.op.lower()[i], 0.0) << i;
      EXPECT_GE(o.op.upper()[i], 0.0) << i;
      // A constant only discounts.
      EXPECT_NEAR(o.op.lower()[i] + o.op.diag()[i] + o.op.upper()[i], -r,
                  1e-9 * (std::fabs(o.op.diag()[i]) + 1.0))
          << i;
      upwinded = upwinded || o.op.lower()[i] == 0.0 || o.op.upper()[i] == 0.0;
    }
    EXPECT_TRUE(upwinded);
  }
}

TEST(DriftDominatedRows, ContinuousWhereThePecletNumberCrossesOne) {
  // Lower the volatility through the value at which the drift first dominates some cell: the
  // rows, and so the prices, move by no more than the change of σ itself would.
  const Market below{100.0, 0.0301, 0.0, 0.5};
  const Market above{100.0, 0.0299, 0.0, 0.5};
  const double a = fdm(kCall, kEuropean, 100.0, 1.0, below).price;
  const double b = fdm(kCall, kEuropean, 100.0, 1.0, above).price;
  EXPECT_NEAR(a, b, 2e-3 * std::fabs(a) + 1e-9);
}

TEST(WideGrids, CoefficientsDoNotOverflow) {
  // S² overflows beyond 1.3e154, though the coefficients in x stay moderate.
  const FdmProcess process{0.01, 0.05, 100.0};
  const OwnedOperator o(TransformKind::Sinh, 101, 1e-170, 1e170, process);
  for (std::size_t i = 1; i < 100; ++i) {
    EXPECT_TRUE(std::isfinite(o.op.lower()[i]) && std::isfinite(o.op.diag()[i]) &&
                std::isfinite(o.op.upper()[i]))
        << i;
  }
}

TEST(WideDistributions, CallsMatchTheClosedFormThroughThePut) {
  // σ·√T from a tenth to 548 (a volatility of 10,000 % over 30 years).
  for (const auto& [sigma, years] :
       {std::tuple{0.1, 1.0}, {1.0, 1.0}, {2.0, 1.0}, {4.0, 1.0}, {8.0, 1.0}, {100.0, 30.0}}) {
    for (const double spot : {50.0, 100.0, 200.0}) {
      const Market m{spot, sigma, 0.03, 0.05};
      const double exact = closed_form(kCall, 100.0, years, m);
      EXPECT_NEAR(fdm(kCall, kEuropean, 100.0, years, m, config(801, 640)).price, exact,
                  1e-3 * exact + 1e-5)
          << sigma << " " << spot;
    }
  }
}

TEST(WideDistributions, ThePutRouteBlendsInContinuously) {
  // The blend starts at σ·√T = 0.75 and is complete at 1; values and Greeks on either side of
  // each end agree.
  for (const double width : {0.75, 1.0}) {
    const PricingResult below =
        fdm(kCall, kAmerican, 100.0, 1.0, Market{110.0, width - 1e-9, 0.02, 0.04});
    const PricingResult above =
        fdm(kCall, kAmerican, 100.0, 1.0, Market{110.0, width + 1e-9, 0.02, 0.04});
    EXPECT_NEAR(below.price, above.price, 1e-6);
    EXPECT_NEAR(below.delta, above.delta, 1e-6);
    EXPECT_NEAR(below.theta, above.theta, 1e-5);
  }
  // Greeks through the put against the call's own closed form.
  const Market m{120.0, 1.5, 0.03, 0.01};
  const PricingResult grid = fdm(kCall, kEuropean, 100.0, 1.0, m, config(801, 640));
  const PricingResult exact =
      pricing_test::closed_form(VanillaOption{100.0, fdm_test::after_years(1.0), kCall, kEuropean},
                                fdm_test::valuation(), m.spot, m.sigma, m.r, m.q);
  EXPECT_NEAR(grid.delta, exact.delta, 1e-4);
  EXPECT_NEAR(grid.gamma, exact.gamma, 1e-5);
  EXPECT_NEAR(grid.theta, exact.theta, 1e-2 * std::fabs(exact.theta));
}

TEST(DriftDominatedDistributions, EuropeansMatchTheClosedFormThroughTheForward) {
  // σ = 1 % over 30 years at a rate of 5 %: the payoff's kink travels far on the drift alone.
  for (const auto& [type, spot, r, q] : {std::tuple{kCall, 20.0, 0.05, 0.0},
                                         {kPut, 500.0, 0.0, 0.05},
                                         {kCall, 500.0, 0.2, 0.05},
                                         {kPut, 20.0, 0.05, 0.0}}) {
    const Market m{spot, 0.01, r, q};
    const double exact = closed_form(type, 100.0, 30.0, m);
    for (const ExerciseStyle style : {kEuropean, kAmerican}) {
      // An American call without yield, or put without rate, is worth its European value.
      const bool same = style == kEuropean || (type == kCall ? q <= 0.0 : r <= 0.0);
      if (same) {
        EXPECT_NEAR(fdm(type, style, 100.0, 30.0, m, config(801, 640)).price, exact,
                    1e-3 * exact + 1e-5)
            << spot << " " << r << " " << q;
      }
    }
  }
}

TEST(DriftDominatedDistributions, TheForwardRouteBlendsInContinuously) {
  // |r − q|·√T/σ crosses 2 (where the blend starts) and 4 (where it is complete).
  for (const double r : {0.1, 0.2}) {
    for (const OptionType type : {kCall, kPut}) {
      const PricingResult below =
          fdm(type, kEuropean, 100.0, 1.0, Market{100.0, 0.05, r * (1 - 1e-9), 0.0});
      const PricingResult above =
          fdm(type, kEuropean, 100.0, 1.0, Market{100.0, 0.05, r * (1 + 1e-9), 0.0});
      EXPECT_NEAR(below.price, above.price, 1e-6);
      EXPECT_NEAR(below.delta, above.delta, 1e-6);
      EXPECT_NEAR(below.theta, above.theta, 1e-4);
    }
  }
  // The Greeks through the forward against the closed form's.
  const Market m{95.0, 0.02, 0.08, 0.01};
  const PricingResult grid = fdm(kCall, kEuropean, 100.0, 2.0, m, config(801, 640));
  const PricingResult exact =
      pricing_test::closed_form(VanillaOption{100.0, fdm_test::after_years(2.0), kCall, kEuropean},
                                fdm_test::valuation(), m.spot, m.sigma, m.r, m.q);
  EXPECT_NEAR(grid.price, exact.price, 1e-4);
  EXPECT_NEAR(grid.delta, exact.delta, 1e-4);
  EXPECT_NEAR(grid.gamma, exact.gamma, 1e-4);
  EXPECT_NEAR(grid.theta, exact.theta, 1e-2 * std::fabs(exact.theta));
}

TEST(DriftDominatedDistributions, AmericansTakeTheirEuropeanPartFromTheForward) {
  // A call with r far above q at σ = 1.16 % over 15.8 years drifts 1.86 in log spot, 40 standard
  // deviations, toward an exercise boundary at K·r/q: 113.417 on its own grid at 801 × 640
  // against a true 111.738 (a fixed-point solution of the exercise boundary), its European part
  // nearly all of the error.
  const double years = 5782.0 / 365.0;
  const Market m{149.4, 0.0116, 0.1289, 0.0114};
  const PricingResult american = fdm(kCall, kAmerican, 100.0, years, m, config(801, 640));
  EXPECT_NEAR(american.price, 111.738, 1e-3 * 111.738);
  EXPECT_GE(american.price, closed_form(kCall, 100.0, years, m) - 1e-6);
  // Continuous where the correction comes in (drift of 2 standard deviations) and where it is
  // complete (4), Greeks alike.
  for (const double drift : {2.0, 4.0}) {
    const auto at = [drift](double scale) {
      const double r = 0.02 + 0.05 * drift * scale;  // (r − q)·T/(σ·√T) = drift·scale
      return fdm(kCall, kAmerican, 100.0, 1.0, Market{100.0, 0.05, r, 0.02});
    };
    const PricingResult below = at(1 - 1e-9);
    const PricingResult above = at(1 + 1e-9);
    EXPECT_NEAR(below.price, above.price, 1e-6) << drift;
    EXPECT_NEAR(below.delta, above.delta, 1e-6) << drift;
    EXPECT_NEAR(below.theta, above.theta, 1e-4) << drift;
  }
}

TEST(SpotMargin, PriceIsContinuousAsTheSpotCrossesTheOldEdge) {
  // The default range's lower edge lies at 100·e^(−0.8) = 44.93; a spot on either side of it
  // once read 5.5e-4 and 2.7e-4.
  const Market inside{45.0, 0.2, 0.05, 0.0};
  const Market outside{44.9, 0.2, 0.05, 0.0};
  for (const Market& m : {inside, outside}) {
    const double exact = closed_form(kCall, 100.0, 1.0, m);
    EXPECT_NEAR(fdm(kCall, kEuropean, 100.0, 1.0, m, config(801, 640)).price, exact, 1e-6);
  }
}

TEST(ReadBounds, AmericanValuesNeverReadBelowTheExerciseValue) {
  // Between nodes near the exercise boundary the cubic read once dipped to 4.999257.
  const PricingResult r = fdm(kPut, kAmerican, 100.0, 0.25, Market{95.0, 0.1, 0.05, 0.0});
  EXPECT_GE(r.price, 5.0);
  if (r.price == 5.0) {
    EXPECT_EQ(r.delta, -1.0);
    EXPECT_EQ(r.gamma, 0.0);
  }
}

struct BoundCase {
  OptionType type;
  ExerciseStyle style;
  Market market;
  double years;
};

class SweepBounds : public ::testing::TestWithParam<std::tuple<OptionType, ExerciseStyle>> {};

TEST_P(SweepBounds, EveryPriceIsFiniteAndWithinItsBounds) {
  const auto [type, style] = GetParam();
  for (const double r : {0.0, 0.05, 0.2}) {
    for (const double q : {0.0, 0.05, 1.0, 10.0}) {
      for (const double sigma : {0.01, 0.3, 3.0, 100.0}) {
        for (const double years : {7.0 / 365.0, 1.0, 30.0}) {
          for (const double spot : {20.0, 95.0, 100.0, 130.0, 500.0}) {
            const Market m{spot, sigma, r, q};
            const double price = fdm(type, style, 100.0, years, m).price;
            ASSERT_TRUE(std::isfinite(price)) << r << " " << q << " " << sigma << " " << years;
            const double intrinsic = std::max(type == kCall ? spot - 100.0 : 100.0 - spot, 0.0);
            const double ceiling =
                style == kAmerican
                    ? (type == kCall ? spot : 100.0)
                    : (type == kCall ? spot * std::exp(-q * years) : 100.0 * std::exp(-r * years));
            EXPECT_GE(price, style == kAmerican ? intrinsic : 0.0)
                << r << " " << q << " " << sigma << " " << years << " " << spot;
            EXPECT_LE(price, ceiling)
                << r << " " << q << " " << sigma << " " << years << " " << spot;
          }
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SweepBounds,
                         ::testing::Combine(::testing::Values(kCall, kPut),
                                            ::testing::Values(kEuropean, kAmerican)));

std::string value_error(const Market& m, const FdmConfig& c = FdmConfig{}, double strike = 100.0) {
  try {
    fdm(kPut, kEuropean, strike, 1.0, m, c);
  } catch (const ValueError& e) {
    return e.what();
  }
  return "no error";
}

TEST(Refusals, InputsTheGridCannotRepresentAreNamed) {
  EXPECT_EQ(value_error(Market{0.0, 0.2, 0.05, 0.0}),
            "The finite-difference grid needs a positive spot, got 0");
  EXPECT_EQ(value_error(Market{-5.0, 0.2, 0.05, 0.0}),
            "The finite-difference grid needs a positive spot, got -5");
  EXPECT_EQ(value_error(Market{}, FdmConfig{}, 0.0),
            "The finite-difference grid needs a positive strike, got 0");
  EXPECT_EQ(value_error(Market{100.0, 0.0, 0.05, 0.0}),
            "The finite-difference grid needs a positive volatility, got 0");
  EXPECT_EQ(value_error(Market{100.0, -0.2, 0.05, 0.0}),
            "The finite-difference grid needs a positive volatility, got -0.2");
  FdmConfig flat = config(101, 10);
  flat.transform.alpha = 0.0;
  EXPECT_EQ(value_error(Market{}, flat),
            "The sinh transform of the finite-difference grid needs a positive alpha, got 0");
  EXPECT_EQ(value_error(Market{1e-300, 0.2, 0.05, 0.0})
                .rfind("The finite-difference grid cannot represent the spot 0.0000", 0),
            0u);
  EXPECT_EQ(
      value_error(Market{}, FdmConfig{}, 1e300)
          .rfind("The finite-difference grid cannot represent spots around the strike 1000", 0),
      0u);
  // NaN inputs still propagate.
  EXPECT_TRUE(std::isnan(fdm(kPut, kEuropean, 100.0, 1.0, Market{100.0, NAN, 0.05, 0.0}).price));
}

}  // namespace
}  // namespace vyr
