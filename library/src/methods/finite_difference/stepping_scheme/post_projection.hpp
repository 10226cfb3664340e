// The stepping scheme of American exercise: every stage result is projected onto the exercise
// value, and exercised nodes are held stationary through a zeroed operator image.
#pragma once

#include <algorithm>
#include <cstddef>

#include "methods/finite_difference/payoff.hpp"
#include "methods/finite_difference/spatial_discretisation.hpp"
#include "methods/finite_difference/time_stepping/input_vectors.hpp"

namespace vyr {

template <BoundaryCondition Condition>
class PostProjection {
 public:
  // Payoffs at or below this count as out of the money for the exercise flag.
  static constexpr double kPayoffThreshold = 1e-7;

  PostProjection(SpatialDiscretisation<Condition>& discretisation, const VanillaPayoff& payoff)
      : discretisation_(discretisation), payoff_(payoff) {}

  SpatialDiscretisation<Condition>& discretisation() { return discretisation_; }
  const VanillaPayoff& payoff() const { return payoff_; }

  // Set at initialisation when the operator image is negative at the first node whose payoff
  // exceeds kPayoffThreshold (exercise pays before expiry); never cleared.
  bool exercise_flag() const { return exercise_flag_; }

  // u = payoff, then L·u; sets the exercise flag and, when set, zeroes L·u wherever the payoff
  // exceeds kPayoffThreshold and L·u is not positive.
  void initialise(InputVectors& state) {
    const std::span<const double> s = discretisation_.grid().spots();
    const std::size_t n = s.size();
    for (std::size_t i = 0; i < n; ++i) {
      state.values[i] = payoff_.value(s[i]);
    }
    discretisation_.op().apply(state.values, state.image);
    for (std::size_t i = 0; i < n; ++i) {
      if (state.values[i] > kPayoffThreshold) {
        // At an edge node the payoff's first difference toward the interior decides: the payoff
        // falls away from the lower edge of a put, and rises into the upper edge of a call.
        const double growth = i == 0       ? state.values[1] - state.values[0]
                              : i == n - 1 ? state.values[n - 1] - state.values[n - 2]
                                           : state.image[i];
        exercise_flag_ = growth < 0.0;
        break;
      }
    }
    if (exercise_flag_) {
      // In-the-money nodes are held stationary where holding the payoff loses value (its image is
      // not positive). The same threshold as the flag keeps a node at the strike out of it even
      // when rounding puts it a hair inside the money, so the kink keeps its diffusion; and where
      // the payoff grows in time (a put with q·S > r·K, say) the node is not yet exercised and
      // keeps its image too. The edge rows are the equation at the edge and follow the same rule.
      for (std::size_t i = 0; i < n; ++i) {
        if (state.values[i] > kPayoffThreshold && !(state.image[i] > 0.0)) {
          state.image[i] = 0.0;
        }
      }
    }
  }
  // Raises a stage result v onto the exercise value from each end of the grid inward. `image`
  // holds L·v on entry and L·v of the projected v on exit (only the rows next to raised nodes
  // change), with the exercised nodes zeroed when the exercise flag is set.
  void project(std::span<double> v, std::span<double> image) {
    const std::span<const double> s = discretisation_.grid().spots();
    const std::size_t n = s.size();
    const std::size_t last = n - 1;

    // Lower end: nodes 0 … lower_top set, contiguously from node 0.
    bool lower_set = false;
    std::size_t lower_top = 0;
    if (v[0] < payoff_.exercise(s[0])) {
      v[0] = payoff_.exercise(s[0]);
      lower_set = true;
      for (std::size_t i = 1; i < n; ++i) {
        const double e = payoff_.exercise(s[i]);
        if (!(v[i] < e)) {
          break;
        }
        v[i] = e;
        lower_top = i;
      }
    }

    // Upper end: nodes upper_bottom … N−1 set, contiguously from node N−1.
    bool upper_set = false;
    std::size_t upper_bottom = last;
    if (!(lower_set && lower_top == last) && !(v[last] < 0.0) &&
        v[last] < payoff_.exercise(s[last])) {
      v[last] = payoff_.exercise(s[last]);
      upper_set = true;
      for (std::size_t i = last; i-- > 0;) {
        const double e = payoff_.exercise(s[i]);
        if (lower_set || v[i] < 0.0 || v[i] >= e) {
          break;
        }
        v[i] = e;
        upper_bottom = i;
      }
    }

    // Only the rows that read a raised node change; with the exercise flag set the exercised rows
    // are zeroed afterwards, so only the row just inside each exercised range is recomputed.
    const TridiagonalOperator& op = discretisation_.op();
    if (lower_set) {
      const std::size_t first = exercise_flag_ ? std::min(lower_top + 1, last) : 0;
      op.apply_rows(v, image, first, std::min(lower_top + 1, last));
    }
    if (upper_set) {
      const std::size_t first = upper_bottom == 0 ? 0 : upper_bottom - 1;
      op.apply_rows(v, image, first, exercise_flag_ ? first : last);
    }
    if (exercise_flag_) {
      if (lower_set) {
        std::fill(image.begin(), image.begin() + static_cast<std::ptrdiff_t>(lower_top + 1), 0.0);
      }
      if (upper_set) {
        std::fill(image.begin() + static_cast<std::ptrdiff_t>(upper_bottom),
                  image.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
      }
    }
  }
  // Shifts the grid by `amount`, raises u onto the new exercise values, recomputes L·u and,
  // with the exercise flag set, zeroes it from the lowest raised node upward. Nothing happens
  // unless amount > 0.
  void apply_dividend(InputVectors& state, double amount) {
    if (!(amount > 0.0)) {
      return;
    }
    discretisation_.shift(amount);
    const std::span<const double> s = discretisation_.grid().spots();
    const std::size_t n = s.size();
    std::size_t lowest_raised = n;
    for (std::size_t i = 0; i < n; ++i) {
      const double e = payoff_.exercise(s[i]);
      if (e > state.values[i]) {
        state.values[i] = e;
        lowest_raised = std::min(lowest_raised, i);
      }
    }
    discretisation_.op().apply(state.values, state.image);
    if (exercise_flag_ && lowest_raised < n) {
      std::fill(state.image.begin() + static_cast<std::ptrdiff_t>(lowest_raised),
                state.image.begin() + static_cast<std::ptrdiff_t>(n), 0.0);
    }
  }

 private:
  SpatialDiscretisation<Condition>& discretisation_;
  VanillaPayoff payoff_;
  bool exercise_flag_ = false;
};

}  // namespace vyr
