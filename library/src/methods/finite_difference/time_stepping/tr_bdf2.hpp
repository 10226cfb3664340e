// TR-BDF2 time stepping: a trapezoidal stage over the fraction γ of the step, then a BDF2 stage
// to the end of the step, each followed by the scheme's projection.
#pragma once

#include <cstddef>
#include <span>
#include <utility>

#include "core/error.hpp"
#include "methods/finite_difference/time_stepping/input_vectors.hpp"

namespace vyr {

class TrBdf2 {
 public:
  // 2 − √2, the fraction of the step covered by the trapezoidal stage.
  static constexpr double kGamma = 0.5857864376269049;
  // Implicit and explicit weight of stage 1.
  static constexpr double kHalfGamma = 0.2928932188134524;
  // √2/4, explicit weight of L·u and of L·u* in stage 2.
  static constexpr double kW = 0.35355339059327373;
  // 1 − √2/2, implicit weight of stage 2.
  static constexpr double kD = 0.29289321881345254;

  // Stage results (2N), their operator images (2N) and the solver's scratch (N).
  static constexpr std::size_t storage_size(std::size_t nodes) { return 5 * nodes; }

  // `storage` holds storage_size(nodes) doubles and must outlive the stepper.
  TrBdf2(std::size_t nodes, std::span<double> storage);

  // Advances `state` by dt in time to expiry, from τ = `tau` at the start of the step. Scheme is
  // Linear or PostProjection over any boundary condition. The new state lives in buffers traded
  // with the stepper's own, so a step copies and allocates nothing.
  template <typename Scheme>
  void step(Scheme& scheme, InputVectors& state, double dt, double tau);

 private:
  // The stage's implicit solve: the scheme's own where it has one (a solve above the exercise
  // value), else the operator's linear solve.
  template <typename Scheme, typename RhsAt>
  static void solve_stage(Scheme& scheme, double theta, double first, RhsAt rhs_at, double last,
                          std::span<double> out, std::span<double> image,
                          std::span<double> scratch) {
    if constexpr (requires {
                    scheme.solve_stage(theta, first, rhs_at, last, out, image, scratch);
                  }) {
      scheme.solve_stage(theta, first, rhs_at, last, out, image, scratch);
    } else {
      scheme.discretisation().op().solve_and_apply(theta, first, rhs_at, last, out, image, scratch);
    }
  }

  std::span<double> stage_values_;
  std::span<double> stage_image_;
  std::span<double> new_values_;
  std::span<double> new_image_;
  std::span<double> scratch_;
};

// Each stage forms its right-hand side inside the solver's forward sweep, with rows 0 and N−1
// replaced by the boundary condition's values (from the state at the start of the step), and
// gets the operator image of its result from the back substitution; the scheme then projects the
// result and repairs that image.
template <typename Scheme>
void TrBdf2::step(Scheme& scheme, InputVectors& state, double dt, double tau) {
  auto& discretisation = scheme.discretisation();
  const auto& grid = discretisation.grid();
  const auto& boundary = discretisation.boundary();
  const std::size_t n = discretisation.size();
  if (state.values.size() < n || state.image.size() < n || stage_values_.size() < n) {
    panic("TR-BDF2 state shorter than the grid");
  }
  const std::span<const double> start = state.values;
  const std::span<const double> start_image = state.image;
  const double* __restrict u = state.values.data();
  const double* __restrict lu = state.image.data();

  // Stage 1: trapezoidal rule over γ·Δt.
  const double theta1 = kHalfGamma * dt;
  const double tau1 = tau + kGamma * dt;
  solve_stage(
      scheme, theta1, boundary.lower_value(grid, start, start_image, tau1),
      [u, lu, theta1](std::size_t i) { return u[i] + theta1 * lu[i]; },
      boundary.upper_value(grid, start, start_image, tau1), stage_values_, stage_image_, scratch_);
  scheme.project(stage_values_, stage_image_);

  // Stage 2: BDF2 to the end of the step.
  const double wdt = kW * dt;
  const double tau2 = tau + dt;
  const double* __restrict lu_stage = stage_image_.data();
  solve_stage(
      scheme, kD * dt, boundary.lower_value(grid, start, start_image, tau2),
      [u, lu, lu_stage, wdt](std::size_t i) { return u[i] + wdt * lu[i] + wdt * lu_stage[i]; },
      boundary.upper_value(grid, start, start_image, tau2), new_values_, new_image_, scratch_);
  scheme.project(new_values_, new_image_);

  std::swap(state.values, new_values_);
  std::swap(state.image, new_image_);
}

}  // namespace vyr
