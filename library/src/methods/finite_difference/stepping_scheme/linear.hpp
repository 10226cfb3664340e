// The stepping scheme of European exercise: no projection.
#pragma once

#include "methods/finite_difference/payoff.hpp"
#include "methods/finite_difference/spatial_discretisation.hpp"
#include "methods/finite_difference/time_stepping/input_vectors.hpp"

namespace vyr {

class Linear {
 public:
  Linear(SpatialDiscretisation& discretisation, const VanillaPayoff& payoff)
      : discretisation_(discretisation), payoff_(payoff) {}

  SpatialDiscretisation& discretisation() { return discretisation_; }

  // u = payoff at every node, then L·u.
  void initialise(InputVectors& state);
  // A stage result v is kept as it is, with its image L·v.
  void project(std::span<double> /*v*/, std::span<double> /*image*/) {}
  // Shifts the grid by `amount` (values stay at their node indices) and recomputes L·u on the
  // new operator. Nothing happens unless amount > 0.
  void apply_dividend(InputVectors& state, double amount);

 private:
  SpatialDiscretisation& discretisation_;
  VanillaPayoff payoff_;
};

}  // namespace vyr
