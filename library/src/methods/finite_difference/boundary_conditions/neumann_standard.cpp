#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"

#include <cmath>

namespace vyr {

NeumannStandard NeumannStandard::for_option(OptionType type, ExerciseStyle style, double strike,
                                            double q) {
  const bool call = type == OptionType::Call;
  return NeumannStandard(call ? 0.0 : -1.0, call ? 1.0 : 0.0, style, strike, q);
}

double NeumannStandard::lower_far_field_slope(double tau) const {
  return lower_slope_ == 0.0 ? lower_slope_ : lower_slope_ * std::exp(-q_ * tau);
}

double NeumannStandard::upper_far_field_slope(double tau) const {
  return upper_slope_ == 0.0 ? upper_slope_ : upper_slope_ * std::exp(-q_ * tau);
}

bool NeumannStandard::exercised(double slope, double s, double v, double image) const {
  if (!american_ || slope == 0.0) {
    return false;
  }
  const double exercise = slope * (s - strike_);
  return !(v > exercise + kOnExerciseTolerance * (std::fabs(strike_) + std::fabs(s))) &&
         !(image > 0.0);
}

void NeumannStandard::write_edge_rows(const Grid& grid, const FdmProcess& process,
                                      TridiagonalOperator& op) const {
  const std::span<const double> s = grid.spots();
  const std::size_t last = s.size() - 1;
  const double drift = process.r - process.q;
  const double lower_convection = drift * s[0] / (s[1] - s[0]);
  const double upper_convection = drift * s[last] / (s[last] - s[last - 1]);
  op.set_row(0, 0.0, -lower_convection - process.r, lower_convection);
  op.set_row(last, -upper_convection, upper_convection - process.r, 0.0);
  op.set_system_edge_rows(SystemEdgeRow::difference(-1.0), SystemEdgeRow::difference(1.0));
}

double NeumannStandard::lower_value(const Grid& grid, std::span<const double> values,
                                    std::span<const double> image, double tau) const {
  const std::span<const double> s = grid.spots();
  const double slope = exercised(lower_slope_, s[0], values[0], image[0])
                           ? lower_slope_
                           : lower_far_field_slope(tau);
  return slope * (s[1] - s[0]);
}

double NeumannStandard::upper_value(const Grid& grid, std::span<const double> values,
                                    std::span<const double> image, double tau) const {
  const std::span<const double> s = grid.spots();
  const std::size_t last = s.size() - 1;
  const double slope = exercised(upper_slope_, s[last], values[last], image[last])
                           ? upper_slope_
                           : upper_far_field_slope(tau);
  return slope * (s[last] - s[last - 1]);
}

}  // namespace vyr
