#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/error.hpp"
#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/fitted.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"

namespace vyr {
namespace {

using EdgeRows = TridiagonalOperator::EdgeRows;

// An operator with its own storage.
struct OwnedOperator {
  explicit OwnedOperator(std::size_t n)
      : storage(TridiagonalOperator::storage_size(n)), op(n, storage) {}
  std::vector<double> storage;
  TridiagonalOperator op;
};

// A grid with its own storage.
struct OwnedGrid {
  OwnedGrid(TransformKind kind, std::size_t n, double s_min = 40.0, double s_max = 250.0)
      : storage(Grid::storage_size(n)),
        grid(build_uniform_grid(CoordinateTransform(kind, 100.0, 0.3),
                                CoordinateTransform(kind, 100.0, 0.3).to_x(s_min),
                                CoordinateTransform(kind, 100.0, 0.3).to_x(s_max), n, storage)) {}
  std::vector<double> storage;
  Grid grid;
};

// (I − θ·L)·u with the edge rows as the operator solves them.
std::vector<double> system_times(const TridiagonalOperator& op, double theta,
                                 const std::vector<double>& u) {
  const std::size_t n = op.size();
  std::vector<double> lu(n);
  op.apply(u, lu);
  std::vector<double> out(n);
  for (std::size_t i = 0; i < n; ++i) {
    out[i] = u[i] - theta * lu[i];
  }
  if (op.edge_rows() == EdgeRows::FirstDifference) {
    out[0] = u[1] - u[0];
    out[n - 1] = u[n - 1] - u[n - 2];
  }
  return out;
}

TEST(TridiagonalOperator, FewerThanThreeNodesReportTheCount) {
  for (const std::size_t n : {0u, 1u, 2u}) {
    std::vector<double> storage(TridiagonalOperator::storage_size(3));
    try {
      TridiagonalOperator op(n, storage);
      ADD_FAILURE() << "built with " << n << " nodes";
    } catch (const Panic& e) {
      EXPECT_EQ(std::string(e.what()),
                "TridiagonalOperator requires at least 3 elements, found " + std::to_string(n));
    }
  }
}

TEST(TridiagonalOperator, ThreeNodesApplyAndSolve) {
  for (const EdgeRows rows : {EdgeRows::Implicit, EdgeRows::FirstDifference}) {
    OwnedOperator o(3);
    TridiagonalOperator& op = o.op;
    op.set_row(1, 0.7, -1.9, 1.1);
    op.set_boundary_row(0);
    op.set_boundary_row(2);
    op.set_edge_rows(rows);
    const std::vector<double> u{2.0, 3.0, 7.0};
    std::vector<double> y(3);
    op.apply(u, y);
    EXPECT_DOUBLE_EQ(y[0], 1.0);
    EXPECT_DOUBLE_EQ(y[1], 0.7 * 2.0 - 1.9 * 3.0 + 1.1 * 7.0);
    EXPECT_DOUBLE_EQ(y[2], 4.0);

    const double theta = 0.3;
    const std::vector<double> rhs = system_times(op, theta, u);
    std::vector<double> out(3);
    std::vector<double> scratch(3);
    op.solve(theta, rhs, out, scratch);
    for (std::size_t i = 0; i < 3; ++i) {
      EXPECT_NEAR(out[i], u[i], 1e-13);
    }
  }
}

TEST(TridiagonalOperator, SolveInvertsTheSystemForEveryParity) {
  // Even and odd node counts take different tails in the two-row sweeps.
  for (const std::size_t n : {4u, 5u, 6u, 7u, 50u, 51u}) {
    for (const EdgeRows rows : {EdgeRows::Implicit, EdgeRows::FirstDifference}) {
      OwnedOperator o(n);
      TridiagonalOperator& op = o.op;
      for (std::size_t i = 1; i + 1 < n; ++i) {
        const double k = static_cast<double>(i);
        op.set_row(i, 1.0 + 0.1 * std::sin(k), -2.05 - 0.05 * std::cos(k), 0.9 + 0.02 * k);
      }
      op.set_boundary_row(0);
      op.set_boundary_row(n - 1);
      op.set_edge_rows(rows);
      std::vector<double> u(n);
      for (std::size_t i = 0; i < n; ++i) {
        u[i] = std::cos(0.3 * static_cast<double>(i)) + 0.01 * static_cast<double>(i * i);
      }
      const double theta = 0.7;
      const std::vector<double> rhs = system_times(op, theta, u);
      std::vector<double> out(n);
      std::vector<double> scratch(n);
      op.solve(theta, rhs, out, scratch);
      for (std::size_t i = 0; i < n; ++i) {
        EXPECT_NEAR(out[i], u[i], 1e-11) << "n " << n << " row " << i;
      }

      // The fused form gives the same solution and the product of the solution.
      std::vector<double> fused(n);
      std::vector<double> image(n);
      op.solve_and_apply(
          theta, rhs[0], [&rhs](std::size_t i) { return rhs[i]; }, rhs[n - 1], fused, image,
          scratch);
      std::vector<double> product(n);
      op.apply(fused, product);
      for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(fused[i], out[i]);
        EXPECT_EQ(image[i], product[i]);
      }
    }
  }
}

TEST(TridiagonalOperator, ApplyRowsMatchesTheFullProduct) {
  OwnedGrid g(TransformKind::Sinh, 21);
  std::vector<double> storage(TridiagonalOperator::storage_size(21));
  TridiagonalOperator op = FdmProcess{0.05, 0.01, 0.2}.build_operator(g.grid, storage);
  op.set_boundary_row(0);
  op.set_boundary_row(20);
  std::vector<double> u(21);
  for (std::size_t i = 0; i < 21; ++i) {
    u[i] = std::sqrt(static_cast<double>(i) + 1.0);
  }
  std::vector<double> full(21);
  op.apply(u, full);
  for (const auto& [first, last] : {std::pair{0u, 0u}, {0u, 5u}, {3u, 3u}, {7u, 20u}, {20u, 20u}}) {
    std::vector<double> part(21, -1.0);
    op.apply_rows(u, part, first, last);
    for (std::size_t i = 0; i < 21; ++i) {
      EXPECT_EQ(part[i], i >= first && i <= last ? full[i] : -1.0) << i;
    }
  }
  EXPECT_THROW(op.apply_rows(u, full, 3, 21), Panic);
}

class ProcessTest : public ::testing::TestWithParam<TransformKind> {};

TEST_P(ProcessTest, StencilsAnnihilateConstants) {
  const double r = 0.05;
  OwnedGrid g(GetParam(), 41);
  std::vector<double> storage(TridiagonalOperator::storage_size(41));
  TridiagonalOperator op = FdmProcess{r, 0.03, 0.25}.build_operator(g.grid, storage);
  NeumannStandard::for_option(OptionType::Put, ExerciseStyle::American, 0.03).set_rows(op);
  const std::vector<double> u(41, 3.0);
  std::vector<double> lu(41);
  op.apply(u, lu);
  EXPECT_EQ(lu[0], 0.0);
  EXPECT_EQ(lu[40], 0.0);
  for (std::size_t i = 1; i < 40; ++i) {
    EXPECT_NEAR(lu[i], -r * 3.0, 1e-12) << i;
  }
}

TEST_P(ProcessTest, SpotItselfGrowsAtTheYieldShortfall) {
  // L S = (r − q)·S − r·S = −q·S: exact for the log stencils, up to truncation for sinh.
  for (const double q : {0.0, 0.04}) {
    OwnedGrid g(GetParam(), 201);
    std::vector<double> storage(TridiagonalOperator::storage_size(201));
    const TridiagonalOperator op = FdmProcess{0.05, q, 0.3}.build_operator(g.grid, storage);
    const std::span<const double> s = g.grid.spots();
    std::vector<double> lu(201);
    op.apply(s, lu);
    for (std::size_t i = 1; i < 200; ++i) {
      EXPECT_NEAR(lu[i], -q * s[i], 2e-3 * s[i]) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProcessTest,
                         ::testing::Values(TransformKind::Log, TransformKind::Sinh));

TEST(FdmProcess, NonUniformStencilsAreExactForQuadraticsInX) {
  // On a fitted grid the three-point stencils still differentiate quadratics in x exactly:
  // with r = q = 0, L u = a·u′ + b·u″ in x.
  const CoordinateTransform t(TransformKind::Log, 100.0, 0.0);
  const std::vector<double> spots{50.0, 61.0, 80.0, 92.0, 100.0, 117.0, 160.0};
  std::vector<double> grid_storage(Grid::storage_size(spots.size()));
  const Grid grid = build_fitted_grid(t, spots, grid_storage);
  std::vector<double> storage(TridiagonalOperator::storage_size(spots.size()));
  const double sigma = 0.4;
  const TridiagonalOperator op = FdmProcess{0.0, 0.0, sigma}.build_operator(grid, storage);
  std::vector<double> u(spots.size());
  for (std::size_t i = 0; i < u.size(); ++i) {
    const double x = grid.x(i) - std::log(100.0);
    u[i] = 2.0 + 3.0 * x + 5.0 * x * x;
  }
  std::vector<double> lu(u.size());
  op.apply(u, lu);
  const double a = -sigma * sigma / 2.0;
  const double b = sigma * sigma / 2.0;
  for (std::size_t i = 1; i + 1 < u.size(); ++i) {
    const double x = grid.x(i) - std::log(100.0);
    EXPECT_NEAR(lu[i], a * (3.0 + 10.0 * x) + b * 10.0, 1e-10) << i;
  }
}

TEST(TridiagonalOperator, FactorisationReusedWithinToleranceOnly) {
  OwnedGrid g(TransformKind::Sinh, 31);
  std::vector<double> storage(TridiagonalOperator::storage_size(31));
  TridiagonalOperator op = FdmProcess{0.05, 0.0, 0.2}.build_operator(g.grid, storage);
  NeumannStandard::for_option(OptionType::Call, ExerciseStyle::European, 0.0).set_rows(op);
  const std::vector<double> rhs(31, 1.0);
  std::vector<double> out(31);
  std::vector<double> scratch(31);
  const double theta = 0.02928932188134524;
  EXPECT_FALSE(op.has_factorisation());
  op.solve(theta, rhs, out, scratch);
  EXPECT_EQ(op.factorisation_count(), 1u);
  op.solve(theta + 1e-13, rhs, out, scratch);
  EXPECT_EQ(op.factorisation_count(), 1u);
  op.solve(theta + 1e-11, rhs, out, scratch);
  EXPECT_EQ(op.factorisation_count(), 2u);

  // Setting a boundary row, any row index, drops the cache.
  for (const std::size_t index : {0u, 5u, 30u}) {
    op.set_boundary_row(index);
    EXPECT_FALSE(op.has_factorisation());
    op.solve(theta + 1e-11, rhs, out, scratch);
  }
  EXPECT_EQ(op.factorisation_count(), 5u);
}

TEST(TridiagonalOperator, ZeroPivotGivesNonFiniteValuesWithoutFailing) {
  OwnedOperator o(3);
  o.op.set_row(1, 0.0, 1.0, 0.0);
  const std::vector<double> rhs{1.0, 1.0, 1.0};
  std::vector<double> out(3);
  std::vector<double> scratch(3);
  o.op.solve(1.0, rhs, out, scratch);  // row 1 of I − θ·L is 0
  EXPECT_FALSE(std::isfinite(out[1]));
}

TEST(NeumannStandard, SlopesOnTheGridsOwnSpotNodes) {
  OwnedGrid g(TransformKind::Sinh, 11);
  const std::span<const double> s = g.grid.spots();
  const double q = 0.03;
  const double tau = 0.7;
  struct Case {
    OptionType type;
    ExerciseStyle style;
    double lower, upper;
  };
  const double discount = std::exp(-q * tau);
  for (const Case c : {Case{OptionType::Call, ExerciseStyle::American, 0.0, 1.0},
                       Case{OptionType::Put, ExerciseStyle::American, -1.0, 0.0},
                       Case{OptionType::Call, ExerciseStyle::European, 0.0, discount},
                       Case{OptionType::Put, ExerciseStyle::European, -discount, 0.0}}) {
    const NeumannStandard boundary = NeumannStandard::for_option(c.type, c.style, q);
    std::vector<double> rhs(11, 9.0);
    boundary.apply(g.grid, rhs, tau);
    EXPECT_DOUBLE_EQ(rhs[0], c.lower * (s[1] - s[0]));
    EXPECT_DOUBLE_EQ(rhs[10], c.upper * (s[10] - s[9]));
    EXPECT_EQ(rhs[5], 9.0);
  }
}

TEST(NeumannStandard, SolvesPrescribeTheSlopeAndKeepFirstDifferencesInTheProduct) {
  OwnedGrid g(TransformKind::Sinh, 21);
  std::vector<double> storage(TridiagonalOperator::storage_size(21));
  TridiagonalOperator op = FdmProcess{0.05, 0.0, 0.2}.build_operator(g.grid, storage);
  NeumannStandard::for_option(OptionType::Put, ExerciseStyle::American, 0.0).set_rows(op);
  EXPECT_EQ(op.edge_rows(), EdgeRows::FirstDifference);
  EXPECT_EQ(op.diag()[0], -1.0);
  EXPECT_EQ(op.upper()[0], 1.0);
  EXPECT_EQ(op.lower()[20], -1.0);
  EXPECT_EQ(op.diag()[20], 1.0);

  std::vector<double> rhs(21, 1.0);
  const std::span<const double> s = g.grid.spots();
  rhs[0] = -1.0 * (s[1] - s[0]);
  rhs[20] = 0.0;
  std::vector<double> out(21);
  std::vector<double> scratch(21);
  op.solve(0.05, rhs, out, scratch);
  EXPECT_NEAR(out[1] - out[0], -(s[1] - s[0]), 1e-12);
  EXPECT_NEAR(out[20] - out[19], 0.0, 1e-12);
}

}  // namespace
}  // namespace vyr
