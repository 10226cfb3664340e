#include "execution/pricing_config.hpp"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <vector>

namespace vyr {
namespace {

using Kind = PricingMethod::Kind;
// Cells in the order American call, American put, European call, European put.
using Cells = std::array<Kind, 4>;

Cells cells_of(const PricingConfig& config) {
  return {config.method_for(ExerciseStyle::American, OptionType::Call).kind,
          config.method_for(ExerciseStyle::American, OptionType::Put).kind,
          config.method_for(ExerciseStyle::European, OptionType::Call).kind,
          config.method_for(ExerciseStyle::European, OptionType::Put).kind};
}

const PricingMethod kUnset{};
const PricingMethod kAnalytic{Kind::Analytic, std::nullopt};
const PricingMethod kFdm{Kind::Fdm, std::nullopt};

InstrumentPolicy policy(const PricingMethod& method, std::vector<ExerciseStyle> styles,
                        std::vector<OptionType> types) {
  return InstrumentPolicy{method, std::move(styles), std::move(types)};
}

const PricingConfig& all_analytic() {
  static const PricingConfig config =
      PricingConfig::initial().with_policy(policy(kAnalytic, {}, {}));
  return config;
}

TEST(PricingConfig, InitialRoutesAmericanToTheGridWithDefaultsAndLeavesEuropeanUnset) {
  const PricingConfig& config = PricingConfig::initial();
  EXPECT_EQ(cells_of(config), (Cells{Kind::Fdm, Kind::Fdm, Kind::Unset, Kind::Unset}));
  EXPECT_FALSE(config.method_for(ExerciseStyle::American, OptionType::Put).settings);
  EXPECT_FALSE(config.method_for(ExerciseStyle::American, OptionType::Call).settings);
  EXPECT_EQ(config.solver().kind, ImpliedVolSolver::Kind::Brent);
  EXPECT_EQ(config.solver().tolerance, 1e-4);
  EXPECT_EQ(config.solver().max_iterations, 100u);
  EXPECT_EQ(&PricingConfig::initial(), &config);
}

TEST(PricingConfig, PolicyOverwritesExactlyTheCellsItMatches) {
  struct Case {
    const char* name;
    InstrumentPolicy policy;
    Cells expected;
  };
  const Kind A = Kind::Analytic;
  const Kind F = Kind::Fdm;
  const Kind U = Kind::Unset;
  const std::vector<Case> cases = {
      {"empty lists match every cell", policy(kFdm, {}, {}), {F, F, F, F}},
      {"american put", policy(kFdm, {ExerciseStyle::American}, {OptionType::Put}), {A, F, A, A}},
      {"duplicates are harmless",
       policy(kFdm, {ExerciseStyle::European, ExerciseStyle::European},
              {OptionType::Call, OptionType::Call}),
       {A, A, F, A}},
      {"both styles listed, calls",
       policy(kFdm, {ExerciseStyle::European, ExerciseStyle::American}, {OptionType::Call}),
       {F, A, F, A}},
      {"no method resets to unset", policy(kUnset, {ExerciseStyle::European}, {}), {A, A, U, U}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(cells_of(all_analytic().with_policy(c.policy)), c.expected) << c.name;
  }
}

TEST(PricingConfig, AnalyticPolicyMakesAllFourCellsAnalytic) {
  EXPECT_EQ(cells_of(all_analytic()),
            (Cells{Kind::Analytic, Kind::Analytic, Kind::Analytic, Kind::Analytic}));
}

TEST(PricingConfig, LaterPoliciesWinOnTheCellsTheyMatch) {
  const InstrumentPolicy a = policy(kAnalytic, {ExerciseStyle::European}, {});
  const InstrumentPolicy b = policy(kFdm, {}, {OptionType::Put});
  const PricingConfig a_then_b = PricingConfig::initial().with_policy(a).with_policy(b);
  EXPECT_EQ(a_then_b.method_for(ExerciseStyle::European, OptionType::Put).kind, Kind::Fdm);
  EXPECT_EQ(a_then_b.method_for(ExerciseStyle::European, OptionType::Call).kind, Kind::Analytic);

  const PricingConfig b_then_a = PricingConfig::initial().with_policy(b).with_policy(a);
  EXPECT_EQ(b_then_a.method_for(ExerciseStyle::European, OptionType::Put).kind, Kind::Analytic);
  EXPECT_EQ(b_then_a.method_for(ExerciseStyle::European, OptionType::Call).kind, Kind::Analytic);
}

TEST(PricingConfig, PolicyCopiesItsSettingsAndLeavesTheOriginalUntouched) {
  FdmConfig settings;
  settings.transform = Transform{TransformKind::Log, 0.0};
  settings.grid_nodes = 51;
  settings.time_steps = 7;
  settings.grid_std_devs = 5.5;
  InstrumentPolicy grid =
      policy(PricingMethod{Kind::Fdm, settings}, {ExerciseStyle::American}, {OptionType::Put});
  const PricingConfig before = all_analytic();
  const PricingConfig after = before.with_policy(grid);
  grid.method.settings->grid_nodes = 3;

  const PricingMethod& cell = after.method_for(ExerciseStyle::American, OptionType::Put);
  ASSERT_TRUE(cell.settings);
  EXPECT_EQ(cell.settings->transform.kind, TransformKind::Log);
  EXPECT_EQ(cell.settings->grid_nodes, 51u);
  EXPECT_EQ(cell.settings->time_steps, 7u);
  EXPECT_EQ(cell.settings->grid_std_devs, 5.5);
  EXPECT_EQ(before.method_for(ExerciseStyle::American, OptionType::Put).kind, Kind::Analytic);
}

TEST(PricingConfig, WithSolverReplacesOnlyTheSolver) {
  const ImpliedVolSolver bisection{ImpliedVolSolver::Kind::Bisection, 1e-9, 7};
  const PricingConfig config = PricingConfig::initial().with_solver(bisection);
  EXPECT_EQ(config.solver().kind, ImpliedVolSolver::Kind::Bisection);
  EXPECT_EQ(config.solver().tolerance, 1e-9);
  EXPECT_EQ(config.solver().max_iterations, 7u);
  EXPECT_EQ(cells_of(config), cells_of(PricingConfig::initial()));
  EXPECT_EQ(PricingConfig::initial().solver().kind, ImpliedVolSolver::Kind::Brent);
  // A policy keeps the solver.
  EXPECT_EQ(config.with_policy(policy(kFdm, {}, {})).solver().max_iterations, 7u);
}

}  // namespace
}  // namespace vyr
