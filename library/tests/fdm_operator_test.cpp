#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "core/error.hpp"
#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/fitted.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"

namespace vyr {
namespace {

// The two kinds of system edge rows the tests exercise.
enum class EdgeRows { Implicit, FirstDifference };

void set_edge_rows(TridiagonalOperator& op, EdgeRows rows) {
  if (rows == EdgeRows::Implicit) {
    op.use_implicit_edge_rows();
  } else {
    op.set_system_edge_rows(SystemEdgeRow::difference(-1.0), SystemEdgeRow::difference(1.0));
  }
}

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
  const SystemEdgeRow& lower = op.lower_edge_row();
  const SystemEdgeRow& upper = op.upper_edge_row();
  out[0] = lower.edge(theta) * u[0] + lower.neighbour(theta) * u[1];
  out[n - 1] = upper.neighbour(theta) * u[n - 2] + upper.edge(theta) * u[n - 1];
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
    set_edge_rows(op, rows);
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
      set_edge_rows(op, rows);
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

// An operator of the kind a grid produces (diffusion, a varying drift and discounting: positive
// off-diagonals, rows that sum to −0.5) on n nodes, with first-difference or implicit edge rows.
void fill_diffusion(TridiagonalOperator& op, EdgeRows rows) {
  const std::size_t n = op.size();
  for (std::size_t i = 1; i + 1 < n; ++i) {
    const double k = static_cast<double>(i);
    const double lower = 40.0 + 2.0 * std::sin(k);
    const double upper = 38.0 + std::cos(k);
    op.set_row(i, lower, -lower - upper - 0.5, upper);
  }
  op.set_boundary_row(0);
  op.set_boundary_row(n - 1);
  set_edge_rows(op, rows);
}

// The complementarity problem u ≥ f, (I − θ·L)·u ≥ rhs, solved by projected Gauss–Seidel until
// nothing moves: slow, but free of any assumption on where the floor binds.
std::vector<double> projected_gauss_seidel(const TridiagonalOperator& op, double theta,
                                           const std::vector<double>& rhs,
                                           const std::vector<double>& floor) {
  const std::size_t n = op.size();
  std::vector<double> u = floor;
  const SystemEdgeRow& lower = op.lower_edge_row();
  const SystemEdgeRow& upper = op.upper_edge_row();
  for (int sweep = 0; sweep < 200000; ++sweep) {
    double moved = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
      double value = 0.0;
      if (i == 0) {
        value = (rhs[0] - lower.neighbour(theta) * u[1]) / lower.edge(theta);
      } else if (i == n - 1) {
        value = (rhs[i] - upper.neighbour(theta) * u[i - 1]) / upper.edge(theta);
      } else {
        value = (rhs[i] + theta * op.lower()[i] * u[i - 1] + theta * op.upper()[i] * u[i + 1]) /
                (1.0 - theta * op.diag()[i]);
      }
      value = std::fmax(value, floor[i]);
      moved = std::fmax(moved, std::fabs(value - u[i]));
      u[i] = value;
    }
    if (moved < 1e-15) {
      break;
    }
  }
  return u;
}

// An exercise problem on n nodes: a floor falling linearly away from the `side` edge (1 there,
// −1 at the other), like a payoff, and a right-hand side that pulls the solution just below it
// where the floor is positive.
struct FloorProblem {
  std::vector<double> floor;
  std::vector<double> rhs;
};

FloorProblem exercise_problem(std::size_t n, FloorSide side) {
  FloorProblem problem{std::vector<double>(n), std::vector<double>(n)};
  for (std::size_t i = 0; i < n; ++i) {
    const double x =
        static_cast<double>(side == FloorSide::Lower ? i : n - 1 - i) / static_cast<double>(n - 1);
    problem.floor[i] = 1.0 - 2.0 * x;
    problem.rhs[i] = std::fmax(problem.floor[i], 0.0) - 0.05;
  }
  return problem;
}

// The floored solve of (I − θ·L)·u ≥ rhs, u ≥ floor (rhs[0] and rhs[n − 1] those of the edge
// rows), and its image.
struct FlooredSolution {
  std::vector<double> u;
  std::vector<double> image;
};

FlooredSolution floored_solve(TridiagonalOperator& op, double theta, const std::vector<double>& rhs,
                              const std::vector<double>& floor, FloorSide side, bool hold_raised) {
  const std::size_t n = op.size();
  FlooredSolution solution{std::vector<double>(n), std::vector<double>(n)};
  op.solve_above_floor_and_apply(
      theta, rhs[0], [&rhs](std::size_t i) { return rhs[i]; }, rhs[n - 1],
      [&floor](std::size_t i) { return floor[i]; }, side, hold_raised, solution.u, solution.image);
  return solution;
}

// The floored solve one row at a time: elimination away from `side`, then each value floored as
// the substitution reaches it, with no shortcut.
std::vector<double> floored_row_by_row(const TridiagonalOperator& op, double theta,
                                       const std::vector<double>& rhs,
                                       const std::vector<double>& floor, FloorSide side) {
  const std::size_t n = op.size();
  std::vector<double> sub(n), pivot(n), super(n);
  for (std::size_t i = 1; i + 1 < n; ++i) {
    sub[i] = -theta * op.lower()[i];
    pivot[i] = 1.0 - theta * op.diag()[i];
    super[i] = -theta * op.upper()[i];
  }
  pivot[0] = op.lower_edge_row().edge(theta);
  super[0] = op.lower_edge_row().neighbour(theta);
  pivot[n - 1] = op.upper_edge_row().edge(theta);
  sub[n - 1] = op.upper_edge_row().neighbour(theta);
  std::vector<double> u = rhs;
  if (side == FloorSide::Upper) {
    for (std::size_t i = 1; i < n; ++i) {
      const double factor = sub[i] / pivot[i - 1];
      pivot[i] -= factor * super[i - 1];
      u[i] -= factor * u[i - 1];
    }
    u[n - 1] = std::fmax(u[n - 1] / pivot[n - 1], floor[n - 1]);
    for (std::size_t i = n - 1; i-- > 0;) {
      u[i] = std::fmax((u[i] - super[i] * u[i + 1]) / pivot[i], floor[i]);
    }
  } else {
    for (std::size_t i = n - 1; i-- > 0;) {
      const double factor = super[i] / pivot[i + 1];
      pivot[i] -= factor * sub[i + 1];
      u[i] -= factor * u[i + 1];
    }
    u[0] = std::fmax(u[0] / pivot[0], floor[0]);
    for (std::size_t i = 1; i < n; ++i) {
      u[i] = std::fmax((u[i] - sub[i] * u[i - 1]) / pivot[i], floor[i]);
    }
  }
  return u;
}

TEST(TridiagonalOperator, FlooredSolveFloorsAValueBeyondTheExercisedRun) {
  // A floor that rises again far from its edge: the fast substitution past the exercised run
  // finds the value there below its floor and takes the rows again one at a time.
  for (const std::size_t n : {9u, 40u}) {
    for (const FloorSide side : {FloorSide::Lower, FloorSide::Upper}) {
      OwnedOperator o(n);
      fill_diffusion(o.op, EdgeRows::Implicit);
      auto [floor, rhs] = exercise_problem(n, side);
      const std::size_t spike = side == FloorSide::Lower ? n - 3 : 2;
      floor[spike] = 2.0;
      const double theta = 0.02;
      const auto [u, image] = floored_solve(o.op, theta, rhs, floor, side, false);
      const std::vector<double> reference = floored_row_by_row(o.op, theta, rhs, floor, side);
      std::vector<double> product(n);
      o.op.apply(u, product);
      EXPECT_EQ(u[spike], 2.0);
      for (std::size_t i = 0; i < n; ++i) {
        EXPECT_NEAR(u[i], reference[i], 1e-12) << n << " " << i;
        EXPECT_EQ(image[i], product[i]) << n << " " << i;
      }
    }
  }
}

TEST(TridiagonalOperator, FlooredSolvesKeepTheFactorisationsOfTwoStepSizes) {
  // Prepared together or factorised on demand, the solves agree to the last bit, and two step
  // sizes alternating cost no factorisation once both are cached.
  const std::size_t n = 31;
  for (const FloorSide side : {FloorSide::Lower, FloorSide::Upper}) {
    OwnedOperator prepared(n);
    OwnedOperator on_demand(n);
    fill_diffusion(prepared.op, EdgeRows::FirstDifference);
    fill_diffusion(on_demand.op, EdgeRows::FirstDifference);
    prepared.op.prepare_floored(side, 0.004, 0.017);
    EXPECT_EQ(prepared.op.factorisation_count(), 2u);
    auto [floor, rhs] = exercise_problem(n, side);
    rhs[0] = 0.0;
    rhs[n - 1] = 0.0;
    const auto solve = [&](TridiagonalOperator& op, double theta) {
      return floored_solve(op, theta, rhs, floor, side, true).u;
    };
    for (const double theta : {0.004, 0.017, 0.004, 0.017}) {
      EXPECT_EQ(solve(prepared.op, theta), solve(on_demand.op, theta));
    }
    EXPECT_EQ(prepared.op.factorisation_count(), 2u);
    EXPECT_EQ(on_demand.op.factorisation_count(), 2u);
    // A new coefficient discards both.
    prepared.op.set_row(1, 40.0, -80.5, 40.0);
    solve(prepared.op, 0.004);
    EXPECT_EQ(prepared.op.factorisation_count(), 3u);
  }
}

TEST(TridiagonalOperator, FlooredSolveIsTheLinearSolveWhereTheFloorNeverBinds) {
  for (const std::size_t n : {5u, 6u, 51u}) {
    for (const FloorSide side : {FloorSide::Lower, FloorSide::Upper}) {
      OwnedOperator o(n);
      fill_diffusion(o.op, EdgeRows::Implicit);
      std::vector<double> rhs(n);
      for (std::size_t i = 0; i < n; ++i) {
        rhs[i] = 1.0 + std::cos(0.2 * static_cast<double>(i));
      }
      const double theta = 0.01;
      std::vector<double> linear(n);
      std::vector<double> scratch(n);
      o.op.solve(theta, rhs, linear, scratch);
      const auto [floored, image] =
          floored_solve(o.op, theta, rhs, std::vector<double>(n, -1e300), side, true);
      std::vector<double> product(n);
      o.op.apply(floored, product);
      for (std::size_t i = 0; i < n; ++i) {
        EXPECT_NEAR(floored[i], linear[i], 1e-12 * std::fabs(linear[i])) << n << " " << i;
        EXPECT_NEAR(image[i], product[i], 1e-9 * (1.0 + std::fabs(product[i]))) << n << " " << i;
      }
    }
  }
}

TEST(TridiagonalOperator, FlooredSolveSolvesTheComplementarityProblem) {
  // A put-like floor, binding on the lower nodes, and its mirror for the upper side; the
  // right-hand side pulls the solution below the floor over a third of the grid.
  for (const std::size_t n : {7u, 8u, 41u}) {
    for (const EdgeRows rows : {EdgeRows::Implicit, EdgeRows::FirstDifference}) {
      for (const FloorSide side : {FloorSide::Lower, FloorSide::Upper}) {
        OwnedOperator o(n);
        fill_diffusion(o.op, rows);
        auto [floor, rhs] = exercise_problem(n, side);
        if (rows == EdgeRows::FirstDifference) {
          rhs[0] = 0.0;
          rhs[n - 1] = 0.0;
        }
        const double theta = 0.02;
        const auto [u, image] = floored_solve(o.op, theta, rhs, floor, side, true);
        const std::vector<double> reference = projected_gauss_seidel(o.op, theta, rhs, floor);
        const std::vector<double> residual = system_times(o.op, theta, u);
        std::vector<double> product(n);
        o.op.apply(u, product);
        std::size_t on_floor = 0;
        for (std::size_t i = 0; i < n; ++i) {
          EXPECT_NEAR(u[i], reference[i], 1e-10) << n << " " << i;
          EXPECT_GE(u[i], floor[i]);
          // The edge rows of first differences prescribe a slope, not an inequality.
          const bool slope_row = rows == EdgeRows::FirstDifference && (i == 0 || i == n - 1);
          if (!slope_row) {
            EXPECT_GE(residual[i] - rhs[i], -1e-10) << n << " " << i;
          }
          if (u[i] > floor[i]) {
            EXPECT_NEAR(residual[i], rhs[i], 1e-10) << n << " " << i;
            EXPECT_EQ(image[i], product[i]);
          } else {
            ++on_floor;
            EXPECT_EQ(image[i], 0.0);
          }
        }
        EXPECT_GT(on_floor, 0u);
        EXPECT_LT(on_floor, n);
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
  const FdmProcess process{r, 0.03, 0.25};
  TridiagonalOperator op = process.build_operator(g.grid, storage);
  NeumannStandard::for_option(OptionType::Put, ExerciseStyle::American, 100.0, 0.03)
      .write_edge_rows(g.grid, process, op);
  const std::vector<double> u(41, 3.0);
  std::vector<double> lu(41);
  op.apply(u, lu);
  // The edge rows too: a constant only discounts.
  for (std::size_t i = 0; i < 41; ++i) {
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
  const FdmProcess process{0.05, 0.0, 0.2};
  TridiagonalOperator op = process.build_operator(g.grid, storage);
  NeumannStandard::for_option(OptionType::Call, ExerciseStyle::European, 100.0, 0.0)
      .write_edge_rows(g.grid, process, op);
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

TEST(NeumannStandard, EuropeanEdgesFollowTheFarFieldSlope) {
  OwnedGrid g(TransformKind::Sinh, 11);
  const std::span<const double> s = g.grid.spots();
  const double q = 0.03;
  const double tau = 0.7;
  const double discount = std::exp(-q * tau);
  const std::vector<double> values(11, 1e6);  // European edges never look at the state
  for (const auto& [type, lower, upper] :
       {std::tuple{OptionType::Call, 0.0, discount}, {OptionType::Put, -discount, 0.0}}) {
    const NeumannStandard boundary =
        NeumannStandard::for_option(type, ExerciseStyle::European, 100.0, q);
    EXPECT_DOUBLE_EQ(boundary.lower_value(g.grid, values, values, tau), lower * (s[1] - s[0]));
    EXPECT_DOUBLE_EQ(boundary.upper_value(g.grid, values, values, tau), upper * (s[10] - s[9]));
  }
}

TEST(NeumannStandard, AmericanEdgeTakesThePayoffSlopeOnlyWhileExercised) {
  OwnedGrid g(TransformKind::Sinh, 11);
  const std::span<const double> s = g.grid.spots();
  const double q = 0.08;
  const double tau = 2.0;
  const double discount = std::exp(-q * tau);
  const NeumannStandard put =
      NeumannStandard::for_option(OptionType::Put, ExerciseStyle::American, 100.0, q);
  const NeumannStandard call =
      NeumannStandard::for_option(OptionType::Call, ExerciseStyle::American, 100.0, q);
  std::vector<double> values(11, 0.0);
  std::vector<double> image(11, -1.0);
  values[0] = 100.0 - s[0];
  values[10] = s[10] - 100.0;
  // On the exercise value, up to rounding of the solve: the payoff's slope.
  EXPECT_EQ(put.lower_value(g.grid, values, image, tau), -1.0 * (s[1] - s[0]));
  EXPECT_EQ(call.upper_value(g.grid, values, image, tau), 1.0 * (s[10] - s[9]));
  values[0] += 1e-13;
  values[10] += 1e-13;
  EXPECT_EQ(put.lower_value(g.grid, values, image, tau), -1.0 * (s[1] - s[0]));
  EXPECT_EQ(call.upper_value(g.grid, values, image, tau), 1.0 * (s[10] - s[9]));
  // On it, but gaining in time to expiry (holding beats exercising): the European far field.
  image[0] = image[10] = 0.5;
  EXPECT_DOUBLE_EQ(put.lower_value(g.grid, values, image, tau), -discount * (s[1] - s[0]));
  EXPECT_DOUBLE_EQ(call.upper_value(g.grid, values, image, tau), discount * (s[10] - s[9]));
  // Above it: the European far field too.
  image[0] = image[10] = 0.0;
  values[0] += 1e-6;
  values[10] += 1e-6;
  EXPECT_DOUBLE_EQ(put.lower_value(g.grid, values, image, tau), -discount * (s[1] - s[0]));
  EXPECT_DOUBLE_EQ(call.upper_value(g.grid, values, image, tau), discount * (s[10] - s[9]));
  // The out-of-the-money edges stay flat.
  EXPECT_EQ(put.upper_value(g.grid, values, image, tau), 0.0);
  EXPECT_EQ(call.lower_value(g.grid, values, image, tau), 0.0);
}

TEST(NeumannStandard, SolvesPrescribeTheSlopeAndTheProductIsTheEquationAtTheEdge) {
  OwnedGrid g(TransformKind::Sinh, 21);
  std::vector<double> storage(TridiagonalOperator::storage_size(21));
  const double r = 0.05;
  const double q = 0.02;
  const FdmProcess process{r, q, 0.2};
  TridiagonalOperator op = process.build_operator(g.grid, storage);
  NeumannStandard::for_option(OptionType::Put, ExerciseStyle::American, 100.0, q)
      .write_edge_rows(g.grid, process, op);
  const std::span<const double> s = g.grid.spots();

  // L at the edges: (r − q)·S·(one-sided slope) − r·V, no curvature. On a line V = a + b·S
  // that is exact: (r − q)·S·b − r·V.
  std::vector<double> line(21);
  for (std::size_t i = 0; i < 21; ++i) {
    line[i] = 7.0 - 0.5 * s[i];
  }
  std::vector<double> lu(21);
  op.apply(line, lu);
  EXPECT_NEAR(lu[0], (r - q) * s[0] * -0.5 - r * line[0], 1e-12);
  EXPECT_NEAR(lu[20], (r - q) * s[20] * -0.5 - r * line[20], 1e-12);

  std::vector<double> rhs(21, 1.0);
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
