#include "methods/finite_difference/stepping_scheme/linear.hpp"

namespace vyr {

void Linear::initialise(InputVectors& state) {
  const std::span<const double> s = discretisation_.grid().spots();
  for (std::size_t i = 0; i < s.size(); ++i) {
    state.values[i] = payoff_.value(s[i]);
  }
  discretisation_.op().apply(state.values, state.image);
}

void Linear::apply_dividend(InputVectors& state, double amount) {
  if (!(amount > 0.0)) {
    return;
  }
  discretisation_.shift(amount);
  discretisation_.op().apply(state.values, state.image);
}

}  // namespace vyr
