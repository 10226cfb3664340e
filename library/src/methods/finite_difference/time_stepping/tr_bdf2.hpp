// TR-BDF2 time stepping: a trapezoidal stage over the fraction γ of the step, then a BDF2 stage
// to the end of the step, each followed by the scheme's projection.
#pragma once

#include <cstddef>
#include <span>

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
  // Linear or PostProjection. The new state lives in buffers traded with the stepper's own, so a
  // step copies and allocates nothing.
  template <typename Scheme>
  void step(Scheme& scheme, InputVectors& state, double dt, double tau);

 private:
  std::span<double> stage_values_;
  std::span<double> stage_image_;
  std::span<double> new_values_;
  std::span<double> new_image_;
  std::span<double> scratch_;
};

}  // namespace vyr
