#include "methods/finite_difference/time_stepping/tr_bdf2.hpp"

#include <utility>

#include "core/error.hpp"
#include "methods/finite_difference/stepping_scheme/linear.hpp"
#include "methods/finite_difference/stepping_scheme/post_projection.hpp"

namespace vyr {

TrBdf2::TrBdf2(std::size_t nodes, std::span<double> storage) {
  if (storage.size() < storage_size(nodes)) {
    panic("TR-BDF2 storage too small");
  }
  stage_values_ = storage.subspan(0, nodes);
  new_values_ = storage.subspan(nodes, nodes);
  stage_image_ = storage.subspan(2 * nodes, nodes);
  new_image_ = storage.subspan(3 * nodes, nodes);
  scratch_ = storage.subspan(4 * nodes, nodes);
}

// Each stage forms its right-hand side inside the solver's forward sweep, with rows 0 and N−1
// replaced by the boundary values, and gets the operator image of its result from the back
// substitution; the scheme then projects the result and repairs that image.
template <typename Scheme>
void TrBdf2::step(Scheme& scheme, InputVectors& state, double dt, double tau) {
  SpatialDiscretisation& discretisation = scheme.discretisation();
  const Grid& grid = discretisation.grid();
  const NeumannStandard& boundary = discretisation.boundary();
  TridiagonalOperator& op = discretisation.op();
  const std::size_t n = discretisation.size();
  if (state.values.size() < n || state.image.size() < n || stage_values_.size() < n) {
    panic("TR-BDF2 state shorter than the grid");
  }
  const double* __restrict u = state.values.data();
  const double* __restrict lu = state.image.data();

  // Stage 1: trapezoidal rule over γ·Δt.
  const double theta1 = kHalfGamma * dt;
  const double tau1 = tau + kGamma * dt;
  op.solve_and_apply(
      theta1, boundary.lower_value(grid, tau1),
      [u, lu, theta1](std::size_t i) { return u[i] + theta1 * lu[i]; },
      boundary.upper_value(grid, tau1), stage_values_, stage_image_, scratch_);
  scheme.project(stage_values_, stage_image_);

  // Stage 2: BDF2 to the end of the step.
  const double wdt = kW * dt;
  const double tau2 = tau + dt;
  const double* __restrict lu_stage = stage_image_.data();
  op.solve_and_apply(
      kD * dt, boundary.lower_value(grid, tau2),
      [u, lu, lu_stage, wdt](std::size_t i) { return u[i] + wdt * lu[i] + wdt * lu_stage[i]; },
      boundary.upper_value(grid, tau2), new_values_, new_image_, scratch_);
  scheme.project(new_values_, new_image_);

  std::swap(state.values, new_values_);
  std::swap(state.image, new_image_);
}

template void TrBdf2::step<Linear>(Linear&, InputVectors&, double, double);
template void TrBdf2::step<PostProjection>(PostProjection&, InputVectors&, double, double);

}  // namespace vyr
