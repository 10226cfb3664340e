// The stepping scheme of American exercise: every stage result is projected onto the exercise
// value, and exercised nodes are held stationary through a zeroed operator image.
#pragma once

#include "methods/finite_difference/payoff.hpp"
#include "methods/finite_difference/spatial_discretisation.hpp"
#include "methods/finite_difference/time_stepping/input_vectors.hpp"

namespace vyr {

class PostProjection {
 public:
  // Payoffs at or below this count as out of the money for the exercise flag.
  static constexpr double kPayoffThreshold = 1e-7;

  PostProjection(SpatialDiscretisation& discretisation, const VanillaPayoff& payoff)
      : discretisation_(discretisation), payoff_(payoff) {}

  SpatialDiscretisation& discretisation() { return discretisation_; }

  // Set at initialisation when the operator image is negative at the first node whose payoff
  // exceeds kPayoffThreshold (exercise pays before expiry); never cleared.
  bool exercise_flag() const { return exercise_flag_; }

  // u = payoff, then L·u; sets the exercise flag and, when set, zeroes L·u wherever the payoff
  // exceeds kPayoffThreshold and L·u is not positive (on the boundary rows: wherever the payoff
  // exceeds it).
  void initialise(InputVectors& state);
  // Raises a stage result v onto the exercise value from each end of the grid inward. `image`
  // holds L·v on entry and L·v of the projected v on exit (only the rows next to raised nodes
  // change), with the exercised nodes zeroed when the exercise flag is set.
  void project(std::span<double> v, std::span<double> image);
  // Shifts the grid by `amount`, raises u onto the new exercise values, recomputes L·u and,
  // with the exercise flag set, zeroes it from the lowest raised node upward. Nothing happens
  // unless amount > 0.
  void apply_dividend(InputVectors& state, double amount);

 private:
  SpatialDiscretisation& discretisation_;
  VanillaPayoff payoff_;
  bool exercise_flag_ = false;
};

}  // namespace vyr
