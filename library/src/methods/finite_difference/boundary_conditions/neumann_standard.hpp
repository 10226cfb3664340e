// The slope condition ∂V/∂S = g at both ends of the grid.
#pragma once

#include <span>

#include "instruments/vanilla_option.hpp"
#include "methods/finite_difference/grids/grid.hpp"
#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"

namespace vyr {

// The operator keeps first differences in x as its boundary rows (they serve the products).
// Each implicit solve instead prescribes the slope on the grid's own spot nodes:
// u₁ − u₀ = g_lo·(S₁ − S₀) and u at N−1 minus u at N−2 = g_hi·(S at N−1 minus S at N−2).
class NeumannStandard {
 public:
  // Slopes g_lo and g_hi far below and far above the strike. When `yield_discounted`, the
  // slopes at time to expiry τ are g·e^(−q·τ), the far-field deltas of a European option.
  NeumannStandard(double lower_slope, double upper_slope, bool yield_discounted, double q)
      : lower_slope_(lower_slope),
        upper_slope_(upper_slope),
        yield_discounted_(yield_discounted),
        q_(q) {}

  // American: call (0, +1), put (−1, 0). European: the same slopes scaled by e^(−q·τ).
  static NeumannStandard for_option(OptionType type, ExerciseStyle style, double q);

  double lower_slope(double tau) const;
  double upper_slope(double tau) const;

  // Writes the first-difference boundary rows into the operator and makes its solves prescribe
  // the slope at both ends.
  void set_rows(TridiagonalOperator& op) const;

  // Rows 0 and N−1 of the right-hand side at time to expiry τ: g_lo·(S₁ − S₀) and
  // g_hi·(S at N−1 minus S at N−2).
  double lower_value(const Grid& grid, double tau) const;
  double upper_value(const Grid& grid, double tau) const;

  // Replaces rows 0 and N−1 of a right-hand side by those values.
  void apply(const Grid& grid, std::span<double> rhs, double tau) const;

 private:
  double lower_slope_;
  double upper_slope_;
  bool yield_discounted_;
  double q_;
};

}  // namespace vyr
