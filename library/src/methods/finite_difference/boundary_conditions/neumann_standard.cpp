#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"

#include <cmath>

namespace vyr {

NeumannStandard NeumannStandard::for_option(OptionType type, ExerciseStyle style, double q) {
  const bool call = type == OptionType::Call;
  return NeumannStandard(call ? 0.0 : -1.0, call ? 1.0 : 0.0, style == ExerciseStyle::European, q);
}

double NeumannStandard::lower_slope(double tau) const {
  if (!yield_discounted_ || lower_slope_ == 0.0) {
    return lower_slope_;
  }
  return lower_slope_ * std::exp(-q_ * tau);
}

double NeumannStandard::upper_slope(double tau) const {
  if (!yield_discounted_ || upper_slope_ == 0.0) {
    return upper_slope_;
  }
  return upper_slope_ * std::exp(-q_ * tau);
}

void NeumannStandard::set_rows(TridiagonalOperator& op) const {
  op.set_boundary_row(0);
  op.set_boundary_row(op.size() - 1);
  op.set_edge_rows(TridiagonalOperator::EdgeRows::FirstDifference);
}

double NeumannStandard::lower_value(const Grid& grid, double tau) const {
  const std::span<const double> s = grid.spots();
  return lower_slope(tau) * (s[1] - s[0]);
}

double NeumannStandard::upper_value(const Grid& grid, double tau) const {
  const std::span<const double> s = grid.spots();
  const std::size_t last = s.size() - 1;
  return upper_slope(tau) * (s[last] - s[last - 1]);
}

void NeumannStandard::apply(const Grid& grid, std::span<double> rhs, double tau) const {
  rhs[0] = lower_value(grid, tau);
  rhs[rhs.size() - 1] = upper_value(grid, tau);
}

}  // namespace vyr
