#include "math/interpolate/linear.hpp"

namespace vyr {

Expected<LinearInterpolator, InterpolationError> LinearInterpolator::create(
    std::vector<double> xs, std::vector<double> ys) {
  if (xs.size() != ys.size()) {
    return Unexpected{InterpolationError::LengthMismatch};
  }
  if (xs.size() < 2) {
    return Unexpected{InterpolationError::InsufficientPoints};
  }
  for (std::size_t i = 1; i < xs.size(); ++i) {
    // Written as "not less than" so that a NaN node is refused along with repeated and
    // decreasing ones.
    if (!(xs[i - 1] < xs[i])) {
      return Unexpected{InterpolationError::NotMonotonic};
    }
  }
  return LinearInterpolator(std::make_shared<const std::vector<double>>(std::move(xs)),
                            std::make_shared<const std::vector<double>>(std::move(ys)));
}

double LinearInterpolator::value(double x) const {
  const std::vector<double>& xs = *xs_;
  const std::vector<double>& ys = *ys_;
  const std::size_t i = locate_segment(xs, x);
  const double slope = (ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i]);
  return (x - xs[i]) * slope + ys[i];
}

}  // namespace vyr
