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
  rhs_ = storage.subspan(4 * nodes, nodes);
  scratch_ = storage.subspan(5 * nodes, nodes);
}

template <typename Scheme>
void TrBdf2::step(Scheme& scheme, InputVectors& state, double dt, double tau) {
  SpatialDiscretisation& discretisation = scheme.discretisation();
  const Grid& grid = discretisation.grid();
  const NeumannStandard& boundary = discretisation.boundary();
  TridiagonalOperator& op = discretisation.op();
  const std::size_t n = discretisation.size();
  if (state.values.size() < n || state.image.size() < n || rhs_.size() < n) {
    panic("TR-BDF2 state shorter than the grid");
  }
  const double* __restrict u = state.values.data();
  const double* __restrict lu = state.image.data();
  double* __restrict rhs = rhs_.data();

  // Stage 1: trapezoidal rule over γ·Δt.
  const double theta1 = kHalfGamma * dt;
  for (std::size_t i = 0; i < n; ++i) {
    rhs[i] = u[i] + theta1 * lu[i];
  }
  boundary.apply(grid, rhs_, tau + kGamma * dt);
  op.solve(theta1, rhs_, stage_values_, scratch_);
  scheme.project(stage_values_, stage_image_);

  // Stage 2: BDF2 to the end of the step.
  const double wdt = kW * dt;
  const double* __restrict lu_stage = stage_image_.data();
  for (std::size_t i = 0; i < n; ++i) {
    rhs[i] = u[i] + wdt * lu[i] + wdt * lu_stage[i];
  }
  boundary.apply(grid, rhs_, tau + dt);
  op.solve(kD * dt, rhs_, new_values_, scratch_);
  scheme.project(new_values_, new_image_);

  std::swap(state.values, new_values_);
  std::swap(state.image, new_image_);
}

template void TrBdf2::step<Linear>(Linear&, InputVectors&, double, double);
template void TrBdf2::step<PostProjection>(PostProjection&, InputVectors&, double, double);

}  // namespace vyr
