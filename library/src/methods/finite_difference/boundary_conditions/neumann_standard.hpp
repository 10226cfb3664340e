// The slope condition ∂V/∂S = g at both ends of the grid.
#pragma once

#include <span>

#include "instruments/vanilla_option.hpp"
#include "methods/finite_difference/boundary_conditions/boundary_condition.hpp"

namespace vyr {

// Each implicit solve prescribes the slope on the grid's own spot nodes:
// u₁ − u₀ = g_lo·(S₁ − S₀) and u at N−1 minus u at N−2 = g_hi·(S at N−1 minus S at N−2).
//
// The slopes are those of the payoff, g = (0, +1) for a call and (−1, 0) for a put, at the edge
// where exercise can hold the value on its exercise value, and the far-field slope of a European
// option, g·e^(−q·τ), wherever it does not:
// - European exercise: always the far-field slope.
// - American exercise: the payoff's slope while the edge node sits on its exercise value at the
//   start of a step and holding it there does not gain (its operator image is not positive: deep
//   in the exercise region, V = g·(S − K)); the far-field slope otherwise (a put whose yield
//   exceeds its rate, a call with a negative yield, a put with r = 0: early exercise does not pay
//   at that edge, and the value follows the European far field).
//
// The product's rows 0 and N−1, which give the operator image and so theta, are the equation at
// the edge with a one-sided first derivative on the spot nodes and no curvature:
// (L·u)₀ = (r − q)·S₀·(u₁ − u₀)/(S₁ − S₀) − r·u₀, and alike at N−1.
class NeumannStandard {
 public:
  // Values within this fraction of K + |S| above the exercise value count as sitting on it: the
  // solve reproduces an exercised edge only up to rounding.
  static constexpr double kOnExerciseTolerance = 1e-12;

  NeumannStandard(double lower_slope, double upper_slope, ExerciseStyle style, double strike,
                  double q)
      : lower_slope_(lower_slope),
        upper_slope_(upper_slope),
        american_(style == ExerciseStyle::American),
        strike_(strike),
        q_(q) {}

  static NeumannStandard for_option(OptionType type, ExerciseStyle style, double strike, double q);

  // The slopes at time to expiry τ: g·e^(−q·τ) (exactly g when g = 0).
  double lower_far_field_slope(double tau) const;
  double upper_far_field_slope(double tau) const;

  // BoundaryCondition.
  void write_edge_rows(const Grid& grid, const FdmProcess& process, TridiagonalOperator& op) const;
  double lower_value(const Grid& grid, std::span<const double> values,
                     std::span<const double> image, double tau) const;
  double upper_value(const Grid& grid, std::span<const double> values,
                     std::span<const double> image, double tau) const;

 private:
  // Whether an edge node with payoff slope g at spot s is exercised: its value v sits on the
  // exercise value g·(s − K) and its image is not positive. Only American exercise and a
  // non-zero slope can be; NaN values count as exercised.
  bool exercised(double slope, double s, double v, double image) const;

  double lower_slope_;
  double upper_slope_;
  bool american_;
  double strike_;
  double q_;
};

static_assert(BoundaryCondition<NeumannStandard>);

}  // namespace vyr
