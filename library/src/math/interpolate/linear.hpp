// Piecewise-linear interpolation over strictly increasing nodes, extrapolated with the end
// segments.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "core/expected.hpp"
#include "math/interpolate/interpolation_error.hpp"

namespace vyr {

class LinearInterpolator {
 public:
  // Fails with InsufficientPoints when fewer than 2 nodes, then with NotMonotonic when some
  // x[i-1] >= x[i]; LengthMismatch when the arrays differ in length.
  static Expected<LinearInterpolator, InterpolationError> create(std::vector<double> xs,
                                                                 std::vector<double> ys);

  double value(double x) const;

  std::span<const double> xs() const { return *xs_; }
  std::span<const double> ys() const { return *ys_; }

 private:
  LinearInterpolator(std::shared_ptr<const std::vector<double>> xs,
                     std::shared_ptr<const std::vector<double>> ys)
      : xs_(std::move(xs)), ys_(std::move(ys)) {}

  // Node arrays are shared read-only between copies.
  std::shared_ptr<const std::vector<double>> xs_;
  std::shared_ptr<const std::vector<double>> ys_;
};

// Index i of the segment [x_i, x_{i+1}] used for x: 0 at or below the first node, n − 2 at or
// above the last, bisection in between (a NaN x ends in segment 0). Requires n >= 2.
std::size_t locate_segment(std::span<const double> xs, double x);

}  // namespace vyr
