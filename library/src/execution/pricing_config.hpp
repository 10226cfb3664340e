// Routing of each (exercise style, option type) cell to a pricing method, and the root-finder
// setting of the implied-volatility search.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "instruments/vanilla_option.hpp"
#include "methods/finite_difference/fdm_config.hpp"
#include "methods/fixed_point/fixed_point_settings.hpp"

namespace vyr {

struct PricingMethod {
  enum class Kind : std::uint8_t { Unset, Analytic, Fdm, FixedPoint };

  Kind kind = Kind::Unset;
  // For Fdm: the settings copied from an FdmConfig, or absent for the engine's defaults.
  std::optional<FdmConfig> settings;
  // For FixedPoint: the accuracy settings, or absent for the method's defaults.
  std::optional<FixedPointSettings> fixed_point_settings = std::nullopt;
};

struct InstrumentPolicy {
  PricingMethod method;
  // Empty lists match every style and every type; duplicates are harmless.
  std::vector<ExerciseStyle> exercise_styles;
  std::vector<OptionType> option_types;
};

struct ImpliedVolSolver {
  enum class Kind : std::uint8_t { Brent, Bisection };

  Kind kind = Kind::Brent;
  double tolerance = 1e-4;
  std::uint64_t max_iterations = 100;
};

class PricingConfig {
 public:
  // The configuration used when none is given: American cells priced by finite differences with
  // the default settings, European cells unset (analytic).
  static const PricingConfig& initial();

  // A copy with the policy applied: every cell the policy matches receives its method.
  PricingConfig with_policy(const InstrumentPolicy& policy) const;

  const PricingMethod& method_for(ExerciseStyle style, OptionType type) const;
  const ImpliedVolSolver& solver() const { return solver_; }

  PricingConfig with_solver(const ImpliedVolSolver& solver) const;

 private:
  PricingConfig() = default;

  ImpliedVolSolver solver_{};
  // Indexed by [exercise style][option type].
  PricingMethod cells_[2][2]{};
};

}  // namespace vyr
