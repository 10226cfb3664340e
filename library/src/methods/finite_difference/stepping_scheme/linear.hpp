// The stepping scheme of European exercise: no projection.
#pragma once

#include "methods/finite_difference/payoff.hpp"
#include "methods/finite_difference/spatial_discretisation.hpp"
#include "methods/finite_difference/time_stepping/input_vectors.hpp"

namespace vyr {

template <BoundaryCondition Condition>
class Linear {
 public:
  Linear(SpatialDiscretisation<Condition>& discretisation, const VanillaPayoff& payoff)
      : discretisation_(discretisation), payoff_(payoff) {}

  SpatialDiscretisation<Condition>& discretisation() { return discretisation_; }

  // u = payoff at every node, then L·u.
  void initialise(InputVectors& state) {
    const std::span<const double> s = discretisation_.grid().spots();
    for (std::size_t i = 0; i < s.size(); ++i) {
      state.values[i] = payoff_.value(s[i]);
    }
    discretisation_.op().apply(state.values, state.image);
  }

  // A stage result v is kept as it is, with its image L·v.
  void project(std::span<double> /*v*/, std::span<double> /*image*/) {}

  // Shifts the grid by `amount` (values stay at their node indices) and recomputes L·u on the
  // new operator. Nothing happens unless amount > 0.
  void apply_dividend(InputVectors& state, double amount) {
    if (!(amount > 0.0)) {
      return;
    }
    discretisation_.shift(amount);
    discretisation_.op().apply(state.values, state.image);
  }

 private:
  SpatialDiscretisation<Condition>& discretisation_;
  VanillaPayoff payoff_;
};

}  // namespace vyr
