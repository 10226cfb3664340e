#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "fdm_allocation_counter.hpp"
#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/domain.hpp"
#include "methods/finite_difference/grids/fitted.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/finite_difference/payoff.hpp"
#include "methods/finite_difference/spatial_discretisation.hpp"
#include "methods/finite_difference/stepping_scheme/linear.hpp"
#include "methods/finite_difference/stepping_scheme/post_projection.hpp"
#include "methods/finite_difference/time_stepping/tr_bdf2.hpp"

namespace {
std::atomic<std::uint64_t> g_allocations{0};
}  // namespace

// Weak replacements of the global allocation functions: they count, then behave like the
// library's own.
__attribute__((weak)) void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
__attribute__((weak)) void operator delete(void* p) noexcept {
  std::free(p);
}
__attribute__((weak)) void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

namespace vyr {

namespace fdm_test {

std::uint64_t allocations() {
  return g_allocations.load(std::memory_order_relaxed);
}

bool counting() {
  const std::uint64_t before = allocations();
  // A direct call: new-expressions may be elided.
  ::operator delete(::operator new(sizeof(int)));
  return allocations() != before;
}

}  // namespace fdm_test

namespace {

// Everything one march needs, on a uniform grid around the strike.
struct Rig {
  Rig(OptionType type, ExerciseStyle style, std::size_t n, double strike = 100.0, double r = 0.05,
      double q = 0.0, double sigma = 0.2, double maturity = 1.0)
      : nodes(n),
        grids(2 * Grid::storage_size(n)),
        op_storage(TridiagonalOperator::storage_size(n)),
        stepper_storage(TrBdf2::storage_size(n)),
        values(n),
        image(n),
        discretisation(make_grid(strike, sigma, maturity), first_grid(), second_grid(),
                       FdmProcess{r, q, sigma}, NeumannStandard::for_option(type, style, strike, q),
                       op_storage),
        payoff(VanillaPayoff::for_option(type, strike)),
        stepper(n, stepper_storage),
        state{values, image} {}

  std::span<double> first_grid() { return std::span(grids).first(Grid::storage_size(nodes)); }
  std::span<double> second_grid() { return std::span(grids).last(Grid::storage_size(nodes)); }

  Grid make_grid(double strike, double sigma, double maturity) {
    const CoordinateTransform t(TransformKind::Sinh, strike, 0.3);
    const SpotRange range = centred_spot_range(strike, sigma, maturity, 4.0, strike);
    return build_uniform_grid(t, t.to_x(range.s_min), t.to_x(range.s_max), nodes, first_grid());
  }

  std::size_t nodes;
  std::vector<double> grids;
  std::vector<double> op_storage;
  std::vector<double> stepper_storage;
  std::vector<double> values;
  std::vector<double> image;
  SpatialDiscretisation<NeumannStandard> discretisation;
  VanillaPayoff payoff;
  TrBdf2 stepper;
  InputVectors state;
};

TEST(TrBdf2, BothStagesShareOneFactorisation) {
  // γ/2 and d differ in their last bits only; the tolerance makes them one θ.
  EXPECT_NE(TrBdf2::kHalfGamma, TrBdf2::kD);
  EXPECT_NEAR(TrBdf2::kHalfGamma, TrBdf2::kGamma / 2.0, 1e-16);
  Rig rig(OptionType::Call, ExerciseStyle::European, 51);
  Linear scheme(rig.discretisation, rig.payoff);
  scheme.initialise(rig.state);
  for (int k = 0; k < 5; ++k) {
    rig.stepper.step(scheme, rig.state, 0.1, 0.1 * k);
  }
  EXPECT_EQ(rig.discretisation.op().factorisation_count(), 1u);
}

TEST(TrBdf2, AStepAllocatesNothing) {
  if (!fdm_test::counting()) {
    GTEST_SKIP() << "operator new is replaced elsewhere in this binary";
  }
  for (const ExerciseStyle style : {ExerciseStyle::European, ExerciseStyle::American}) {
    Rig rig(OptionType::Put, style, 101);
    Linear linear(rig.discretisation, rig.payoff);
    PostProjection projected(rig.discretisation, rig.payoff);
    const std::uint64_t before = fdm_test::allocations();
    if (style == ExerciseStyle::European) {
      linear.initialise(rig.state);
    } else {
      projected.initialise(rig.state);
    }
    for (int k = 0; k < 100; ++k) {
      if (style == ExerciseStyle::European) {
        rig.stepper.step(linear, rig.state, 0.01, 0.01 * k);
      } else {
        rig.stepper.step(projected, rig.state, 0.01, 0.01 * k);
      }
    }
    EXPECT_EQ(fdm_test::allocations(), before);
  }
}

TEST(PostProjection, ExerciseFlagFollowsTheImageAtTheFirstPayingNode) {
  struct Case {
    OptionType type;
    double q;
    bool flag;
  };
  for (const Case c : {Case{OptionType::Put, 0.0, true}, Case{OptionType::Call, 0.0, false},
                       Case{OptionType::Call, 0.10, true}}) {
    Rig rig(c.type, ExerciseStyle::American, 101, 100.0, 0.05, c.q);
    PostProjection scheme(rig.discretisation, rig.payoff);
    scheme.initialise(rig.state);
    EXPECT_EQ(scheme.exercise_flag(), c.flag);
    const std::span<const double> s = rig.discretisation.grid().spots();
    for (std::size_t i = 0; i < rig.nodes; ++i) {
      EXPECT_EQ(rig.values[i], rig.payoff.value(s[i]));
      if (c.flag && rig.values[i] > PostProjection<NeumannStandard>::kPayoffThreshold) {
        EXPECT_EQ(rig.image[i], 0.0) << i;
      }
    }
  }
}

TEST(PostProjection, NodeAtTheStrikeKeepsItsImageWhenRoundingPutsItInTheMoney) {
  // A fitted grid whose middle node lies one ulp below the strike: a put pays 1e-14 there.
  const CoordinateTransform t(TransformKind::Sinh, 100.0, 0.3);
  std::vector<double> spots;
  for (int i = -10; i <= 10; ++i) {
    spots.push_back(100.0 * std::exp(0.05 * i));
  }
  spots[10] = std::nextafter(100.0, 0.0);
  std::vector<double> grids(2 * Grid::storage_size(spots.size()));
  const std::span<double> first = std::span(grids).first(Grid::storage_size(spots.size()));
  const std::span<double> second = std::span(grids).last(Grid::storage_size(spots.size()));
  std::vector<double> op_storage(TridiagonalOperator::storage_size(spots.size()));
  SpatialDiscretisation<NeumannStandard> discretisation(
      build_fitted_grid(t, spots, first), first, second, FdmProcess{0.05, 0.0, 0.2},
      NeumannStandard::for_option(OptionType::Put, ExerciseStyle::American, 100.0, 0.0),
      op_storage);
  PostProjection scheme(discretisation, VanillaPayoff::for_option(OptionType::Put, 100.0));
  std::vector<double> values(spots.size());
  std::vector<double> image(spots.size());
  InputVectors state{values, image};
  scheme.initialise(state);
  ASSERT_TRUE(scheme.exercise_flag());
  EXPECT_GT(values[10], 0.0);
  // The kink diffuses: its image is large and must survive the zeroing.
  EXPECT_GT(image[10], 1.0);
  EXPECT_EQ(image[9], 0.0);
}

TEST(PostProjection, RaisesFromTheLowerEndUpToTheFirstNodeAboveExercise) {
  Rig rig(OptionType::Put, ExerciseStyle::American, 21);
  PostProjection scheme(rig.discretisation, rig.payoff);
  scheme.initialise(rig.state);
  const std::span<const double> s = rig.discretisation.grid().spots();
  std::vector<double> v(21);
  for (std::size_t i = 0; i < 21; ++i) {
    v[i] = rig.payoff.value(s[i]) + 1.0;
  }
  v[0] = rig.payoff.exercise(s[0]) - 1.0;
  v[1] = rig.payoff.exercise(s[1]) - 0.5;
  v[3] = rig.payoff.exercise(s[3]) - 0.5;  // beyond the first node above exercise: kept
  std::vector<double> image(21);
  rig.discretisation.op().apply(v, image);
  scheme.project(v, image);
  EXPECT_EQ(v[0], rig.payoff.exercise(s[0]));
  EXPECT_EQ(v[1], rig.payoff.exercise(s[1]));
  EXPECT_EQ(v[3], rig.payoff.exercise(s[3]) - 0.5);
  std::vector<double> expected(21);
  rig.discretisation.op().apply(v, expected);
  for (std::size_t i = 0; i < 21; ++i) {
    EXPECT_EQ(image[i], i <= 1 ? 0.0 : expected[i]) << i;
  }
}

TEST(PostProjection, RaisesFromTheUpperEndForCalls) {
  Rig rig(OptionType::Call, ExerciseStyle::American, 21, 100.0, 0.05, 0.1);
  PostProjection scheme(rig.discretisation, rig.payoff);
  scheme.initialise(rig.state);
  ASSERT_TRUE(scheme.exercise_flag());
  const std::span<const double> s = rig.discretisation.grid().spots();
  std::vector<double> v(21);
  for (std::size_t i = 0; i < 21; ++i) {
    v[i] = rig.payoff.value(s[i]) + (i >= 18 ? -0.5 : 0.5);
  }
  std::vector<double> image(21);
  rig.discretisation.op().apply(v, image);
  scheme.project(v, image);
  std::vector<double> expected(21);
  rig.discretisation.op().apply(v, expected);
  for (std::size_t i = 0; i < 21; ++i) {
    EXPECT_EQ(v[i], rig.payoff.value(s[i]) + (i >= 18 ? 0.0 : 0.5)) << i;
    EXPECT_EQ(image[i], i >= 18 ? 0.0 : expected[i]) << i;
  }
}

TEST(Dividend, ShiftMovesTheNodesAndKeepsTheValuesAtTheirIndices) {
  for (const ExerciseStyle style : {ExerciseStyle::European, ExerciseStyle::American}) {
    Rig rig(OptionType::Call, style, 41, 100.0, 0.05, 0.0);
    Linear linear(rig.discretisation, rig.payoff);
    PostProjection projected(rig.discretisation, rig.payoff);
    const std::vector<double> before(rig.discretisation.grid().spots().begin(),
                                     rig.discretisation.grid().spots().end());
    if (style == ExerciseStyle::European) {
      linear.initialise(rig.state);
      rig.stepper.step(linear, rig.state, 0.1, 0.0);
    } else {
      projected.initialise(rig.state);
      rig.stepper.step(projected, rig.state, 0.1, 0.0);
    }
    const std::vector<double> values(rig.state.values.begin(), rig.state.values.end());
    if (style == ExerciseStyle::European) {
      linear.apply_dividend(rig.state, 0.0);  // nothing happens
      linear.apply_dividend(rig.state, 2.0);
    } else {
      projected.apply_dividend(rig.state, -1.0);  // nothing happens
      projected.apply_dividend(rig.state, 2.0);
    }
    const Grid& grid = rig.discretisation.grid();
    EXPECT_EQ(grid.kind(), GridKind::Fitted);
    // A new operator, with the slope rows set and no factorisation yet.
    EXPECT_FALSE(rig.discretisation.op().has_factorisation());
    EXPECT_EQ(rig.discretisation.op().lower_edge_row().edge_fixed, -1.0);
    EXPECT_EQ(rig.discretisation.op().upper_edge_row().neighbour_fixed, -1.0);
    std::vector<double> image(41);
    rig.discretisation.op().apply(rig.state.values, image);
    for (std::size_t i = 0; i < 41; ++i) {
      EXPECT_EQ(grid.spot(i), before[i] + 2.0);
      if (style == ExerciseStyle::European) {
        EXPECT_EQ(rig.state.values[i], values[i]);
        EXPECT_EQ(rig.state.image[i], image[i]);
      } else {
        // Raised onto the exercise value of the shifted node where that pays more.
        EXPECT_EQ(rig.state.values[i], std::max(values[i], grid.spot(i) - 100.0));
      }
    }
  }
}

}  // namespace
}  // namespace vyr
