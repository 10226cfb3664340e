// Monotone cubic Hermite interpolation: natural-spline slopes limited for monotonicity, with the
// natural spline's second derivatives kept for the second derivative.
#pragma once

#include <memory>
#include <span>
#include <vector>

#include "core/expected.hpp"
#include "math/interpolate/interpolation_error.hpp"

namespace vyr {

// One cubic Hermite piece: from (x0, y0) with slope d0 over a width h to (x0 + h, y1) with slope
// d1, read anywhere on its line.
struct MonotoneCubicPiece {
  double x0;
  double h;
  double y0;
  double y1;
  double d0;
  double d1;

  double value(double x) const;
  double derivative(double x) const;
};

class MonotoneCubicInterpolator {
 public:
  // Fails with InsufficientPoints when n <= 2. The caller supplies strictly increasing xs and ys
  // of the same length.
  static Expected<MonotoneCubicInterpolator, InterpolationError> create(std::vector<double> xs,
                                                                        std::vector<double> ys);

  double value(double x) const;
  double derivative(double x) const;
  double second_derivative(double x) const;
  // The piece that value() and derivative() read at x.
  MonotoneCubicPiece piece(double x) const;

  std::span<const double> xs() const { return *xs_; }
  std::span<const double> ys() const { return *ys_; }
  // The limited node slopes d.
  std::span<const double> slopes() const { return *slopes_; }
  // The natural cubic spline's second derivatives M (zero at both end nodes).
  std::span<const double> second_derivatives() const { return *second_derivatives_; }

 private:
  MonotoneCubicInterpolator(std::shared_ptr<const std::vector<double>> xs,
                            std::shared_ptr<const std::vector<double>> ys,
                            std::shared_ptr<const std::vector<double>> slopes,
                            std::shared_ptr<const std::vector<double>> second_derivatives)
      : xs_(std::move(xs)),
        ys_(std::move(ys)),
        slopes_(std::move(slopes)),
        second_derivatives_(std::move(second_derivatives)) {}

  std::shared_ptr<const std::vector<double>> xs_;
  std::shared_ptr<const std::vector<double>> ys_;
  std::shared_ptr<const std::vector<double>> slopes_;
  std::shared_ptr<const std::vector<double>> second_derivatives_;
};

// The piece of MonotoneCubicInterpolator::create(xs, ys) over segment j (between nodes j and
// j + 1), 1 ≤ j ≤ n − 3, to the last bit, without building the interpolator: inside the nodes its
// two slopes depend only on nodes j − 1 … j + 2.
MonotoneCubicPiece interior_piece(std::span<const double> xs, std::span<const double> ys,
                                  std::size_t j);

// What MonotoneCubicInterpolator::create(xs, ys) would give for second_derivative(x), to the last
// bit, without building the interpolator: the natural spline's elimination over every node, and
// its substitution only down to the segment that holds x. `scratch` holds 2·n doubles; n ≥ 3,
// xs strictly increasing.
double natural_second_derivative(std::span<const double> xs, std::span<const double> ys, double x,
                                 std::span<double> scratch);

}  // namespace vyr
