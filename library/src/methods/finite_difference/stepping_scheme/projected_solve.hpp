// A stepping scheme of American exercise that solves each stage's implicit system with the
// exercise value as its floor, so that a stage result is the solution of the complementarity
// problem itself rather than of the linear system raised afterwards. Where the continuation
// region changes faster than a time step resolves (drift or discounting fast against the step,
// a boundary layer a few nodes wide) the raised linear solution lags the constraint by a step at
// every step; the floored solve does not, and reaches the same discrete steady state whatever
// the step.
#pragma once

#include <cstddef>
#include <span>

#include "methods/finite_difference/stepping_scheme/post_projection.hpp"

namespace vyr {

template <BoundaryCondition Condition>
class ProjectedSolve : public PostProjection<Condition> {
 public:
  ProjectedSolve(SpatialDiscretisation<Condition>& discretisation, const VanillaPayoff& payoff)
      : PostProjection<Condition>(discretisation, payoff) {}

  // Initialisation and dividends are those of PostProjection: payoff, image, exercise flag.

  // The stage's system (I − θ·L)·v = rhs solved above the exercise value, the exercise region
  // contiguous from the in-the-money edge, with `image` = L·v, zeroed on the raised nodes when
  // the exercise flag is set, as the projection does. The scratch is not needed.
  template <typename RhsAt>
  void solve_stage(double theta, double first, RhsAt rhs_at, double last, std::span<double> out,
                   std::span<double> image, std::span<double> /*scratch*/) {
    auto& discretisation = this->discretisation();
    const double* __restrict s = discretisation.grid().spots().data();
    const VanillaPayoff payoff = this->payoff();
    const FloorSide side = floor_side();
    discretisation.op().solve_above_floor_and_apply(
        theta, first, rhs_at, last, [s, payoff](std::size_t i) { return payoff.exercise(s[i]); },
        side, this->exercise_flag(), out, image);
  }

  // Factorisations for stages whose implicit weight θ is theta_a or theta_b, computed together.
  void prepare_implicit_weights(double theta_a, double theta_b) {
    this->discretisation().op().prepare_floored(floor_side(), theta_a, theta_b);
  }

  // The stage result is already above its floor.
  void project(std::span<double> /*v*/, std::span<double> /*image*/) {}

 private:
  // A call is exercised from the upper edge of the grid, a put from the lower.
  FloorSide floor_side() const {
    return this->payoff().sign > 0.0 ? FloorSide::Upper : FloorSide::Lower;
  }
};

}  // namespace vyr
