#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/error.hpp"
#include "methods/finite_difference/grids/domain.hpp"
#include "methods/finite_difference/grids/fitted.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/finite_difference/transform.hpp"

namespace vyr {
namespace {

struct TransformCase {
  TransformKind kind;
  double alpha;
};

class TransformTest : public ::testing::TestWithParam<TransformCase> {};

TEST_P(TransformTest, MapsRoundTripAndDerivativesMatchDifferences) {
  const CoordinateTransform t(GetParam().kind, 100.0, GetParam().alpha);
  for (const double s : {20.0, 70.0, 100.0, 130.0, 450.0}) {
    EXPECT_NEAR(t.to_s(t.to_x(s)), s, 1e-12 * s);
    const double x = t.to_x(s);
    const double h = 1e-5;
    const double first = (t.to_s(x + h) - t.to_s(x - h)) / (2 * h);
    const double second = (t.to_s(x + h) - 2 * t.to_s(x) + t.to_s(x - h)) / (h * h);
    EXPECT_NEAR(t.ds_dx(x), first, 1e-6 * std::fabs(first));
    EXPECT_NEAR(t.d2s_dx2(x), second, 1e-4 * std::fabs(second) + 1e-4);
    // The joint evaluation gives the very values of the separate ones.
    const TransformPoint p = t.at(x);
    EXPECT_EQ(p.s, t.to_s(x));
    EXPECT_EQ(p.ds_dx, t.ds_dx(x));
    EXPECT_EQ(p.d2s_dx2, t.d2s_dx2(x));
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, TransformTest,
                         ::testing::Values(TransformCase{TransformKind::Log, 0.0},
                                           TransformCase{TransformKind::Sinh, 0.3},
                                           TransformCase{TransformKind::Sinh, 1.5}));

TEST(Transform, SinhCentreMapsToZeroAndBackToTheStrikeExactly) {
  const CoordinateTransform t(TransformKind::Sinh, 37.5, 0.3);
  EXPECT_EQ(t.to_x(37.5), 0.0);
  EXPECT_EQ(t.to_s(0.0), 37.5);
}

struct UniformCase {
  TransformKind kind;
  std::size_t nodes;
};

class UniformGridTest : public ::testing::TestWithParam<UniformCase> {};

TEST_P(UniformGridTest, NodesFromTheirIndexWithTheStrikeInTheMiddle) {
  const auto [kind, n] = GetParam();
  const double strike = 100.0;
  const CoordinateTransform t(kind, strike, 0.3);
  const SpotRange range = centred_spot_range(strike, 0.2, 1.0, 4.0, 100.0);
  std::vector<double> storage(Grid::storage_size(n));
  const double x_min = t.to_x(range.s_min);
  const double x_max = t.to_x(range.s_max);
  const Grid grid = build_uniform_grid(t, x_min, x_max, n, storage);

  ASSERT_EQ(grid.size(), n);
  EXPECT_EQ(grid.kind(), GridKind::Uniform);
  const double dx = (x_max - x_min) / static_cast<double>(n - 1);
  for (std::size_t i = 0; i < n; ++i) {
    // Computed from the index, not by accumulating Δx.
    EXPECT_EQ(grid.x(i), x_min + static_cast<double>(i) * dx);
    EXPECT_EQ(grid.spot(i), t.to_s(grid.x(i)));
    EXPECT_EQ(grid.ds_dx()[i], t.ds_dx(grid.x(i)));
    EXPECT_EQ(grid.h_plus(i), i + 1 < n ? grid.x(i + 1) - grid.x(i) : 0.0);
    EXPECT_EQ(grid.h_minus(i), i > 0 ? grid.x(i) - grid.x(i - 1) : 0.0);
    if (i > 0) {
      EXPECT_GT(grid.spot(i), grid.spot(i - 1));
    }
  }
  EXPECT_NEAR(grid.spot((n - 1) / 2), strike, 1e-12 * strike);
  if (kind == TransformKind::Sinh) {
    EXPECT_NEAR(x_min, -x_max, 1e-14);
  }
  EXPECT_THROW(grid.x(n), Panic);
  EXPECT_THROW(grid.spot(n), Panic);
}

INSTANTIATE_TEST_SUITE_P(OddCounts, UniformGridTest,
                         ::testing::Values(UniformCase{TransformKind::Sinh, 3},
                                           UniformCase{TransformKind::Sinh, 101},
                                           UniformCase{TransformKind::Sinh, 1001},
                                           UniformCase{TransformKind::Log, 5},
                                           UniformCase{TransformKind::Log, 101}));

TEST(SpotRange, LogRangeIsSymmetricAroundTheStrikeInLogSpot) {
  const SpotRange range = centred_spot_range(80.0, 0.25, 2.0, 3.0, 80.0);
  const double spread = std::exp(3.0 * 0.25 * std::sqrt(2.0));
  EXPECT_NEAR(range.s_max / 80.0, spread, 1e-12);
  EXPECT_NEAR(80.0 / range.s_min, spread, 1e-12);
}

TEST(SpotRange, WidensSymmetricallyToKeepTheSpotClearOfTheEdges) {
  const double w = 0.2 * std::sqrt(0.01);
  const SpotRange plain = centred_spot_range(100.0, 0.2, 0.01, 4.0, 100.0);
  // Far outside, just outside, and inside but within the margin of the edge.
  for (const double spot : {400.0, 20.0, 100.0 * std::exp(4.2 * w), 100.0 * std::exp(-3.5 * w)}) {
    const SpotRange wide = centred_spot_range(100.0, 0.2, 0.01, 4.0, spot);
    const double half_width = std::fabs(std::log(spot / 100.0)) / w + kSpotMargin;
    EXPECT_NEAR(std::log(wide.s_max / 100.0), half_width * w, 1e-12);
    EXPECT_NEAR(std::log(100.0 / wide.s_min), half_width * w, 1e-12);
    // The spot lies the margin inside the widened range.
    EXPECT_NEAR(std::fabs(std::log(spot / (spot > 100 ? wide.s_max : wide.s_min))), kSpotMargin * w,
                1e-12);
    EXPECT_LT(wide.s_min, plain.s_min);
  }
  // Continuous in the spot where the widening starts.
  const double onset = 100.0 * std::exp((4.0 - kSpotMargin) * w);
  EXPECT_NEAR(centred_spot_range(100.0, 0.2, 0.01, 4.0, onset * (1 + 1e-12)).s_max, plain.s_max,
              1e-9);
}

TEST(SpotRange, KeepsThePlainRangeOtherwise) {
  const SpotRange plain = centred_spot_range(100.0, 0.2, 1.0, 4.0, 100.0);
  struct Case {
    double sigma, maturity, std_devs, spot;
  };
  for (const Case c : {Case{0.2, 1.0, 4.0, 150.0},         // inside
                       Case{0.2, 1.0, 4.0, -5.0},          // not positive
                       Case{0.2, 1.0, 4.0, std::nan("")},  // not finite
                       Case{0.2, 1.0, 4.0, INFINITY}}) {   // not finite
    const SpotRange r = centred_spot_range(100.0, c.sigma, c.maturity, c.std_devs, c.spot);
    EXPECT_EQ(r.s_min, plain.s_min);
    EXPECT_EQ(r.s_max, plain.s_max);
  }
  // No width or no standard deviations: the degenerate plain range, whatever the spot.
  const SpotRange flat = centred_spot_range(100.0, 0.0, 1.0, 4.0, 1000.0);
  EXPECT_NEAR(flat.s_min, 100.0, 1e-12);
  EXPECT_NEAR(flat.s_max, 100.0, 1e-12);
  const SpotRange none = centred_spot_range(100.0, 0.2, 1.0, 0.0, 1000.0);
  EXPECT_NEAR(none.s_max, 100.0, 1e-12);
}

TEST(FittedGrid, KeepsTheGivenSpotsAndRecomputesTheCoordinate) {
  const CoordinateTransform t(TransformKind::Sinh, 100.0, 0.3);
  const std::vector<double> spots{60.0, 80.0, 99.0, 100.0, 101.5, 140.0};
  std::vector<double> storage(Grid::storage_size(spots.size()));
  const Grid grid = build_fitted_grid(t, spots, storage);
  EXPECT_EQ(grid.kind(), GridKind::Fitted);
  for (std::size_t i = 0; i < spots.size(); ++i) {
    EXPECT_EQ(grid.spot(i), spots[i]);
    EXPECT_EQ(grid.x(i), t.to_x(spots[i]));
    EXPECT_EQ(grid.s_of_x()[i], t.to_s(grid.x(i)));
  }
  EXPECT_EQ(grid.h_plus(2), grid.x(3) - grid.x(2));
  EXPECT_EQ(grid.h_minus(0), 0.0);
  EXPECT_EQ(grid.h_plus(5), 0.0);
}

TEST(FittedGrid, ShiftAddsTheAmountToEverySpot) {
  const CoordinateTransform t(TransformKind::Log, 100.0, 0.0);
  std::vector<double> storage(Grid::storage_size(11));
  std::vector<double> shifted_storage(Grid::storage_size(11));
  const Grid grid = build_uniform_grid(t, std::log(50.0), std::log(200.0), 11, storage);
  const Grid shifted = shift(grid, 2.5, shifted_storage);
  EXPECT_EQ(shifted.kind(), GridKind::Fitted);
  for (std::size_t i = 0; i < 11; ++i) {
    EXPECT_EQ(shifted.spot(i), grid.spot(i) + 2.5);
    EXPECT_EQ(shifted.x(i), std::log(grid.spot(i) + 2.5));
  }
  // No longer uniform in x.
  EXPECT_GT(std::fabs(shifted.h_plus(0) - shifted.h_plus(9)), 1e-6);
}

}  // namespace
}  // namespace vyr
