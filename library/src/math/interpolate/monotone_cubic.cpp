#include "math/interpolate/monotone_cubic.hpp"

#include <algorithm>
#include <cmath>

#include "math/interpolate/linear.hpp"

namespace vyr {
namespace {

// Caps a node slope at three times the smaller neighbouring secant, the Fritsch–Carlson bound
// that keeps each cubic piece monotone. `left` and `right` are the secants on either side (the
// same secant twice at an end node).
double limited_slope(double slope, double left, double right) {
  if (left * right <= 0.0) {
    return 0.0;
  }
  // The end slopes come from the natural spline and may point against the data; a slope of the
  // wrong sign would make the end piece dip below (or rise above) its nodes.
  if (slope * left < 0.0) {
    return 0.0;
  }
  const double bound = 3.0 * std::min(std::abs(left), std::abs(right));
  if (std::abs(slope) > bound) {
    return slope > 0.0 ? bound : -bound;
  }
  return slope;
}

// The secant over segment i.
double secant(std::span<const double> xs, std::span<const double> ys, std::size_t i) {
  return (ys[i + 1] - ys[i]) / (xs[i + 1] - xs[i]);
}

// The slope at an interior node k: the secant over its two neighbouring segments, limited.
double interior_slope(std::span<const double> xs, std::span<const double> ys, std::size_t k) {
  const double central = (ys[k + 1] - ys[k - 1]) / (xs[k + 1] - xs[k - 1]);
  return limited_slope(central, secant(xs, ys, k - 1), secant(xs, ys, k));
}

// The forward elimination of the natural cubic spline's tridiagonal system, M = 0 at both ends:
// M(k) = u(k)·M(k+1) + v(k) for 0 < k < n − 1. u and v hold n values.
void eliminate_natural_spline(std::span<const double> xs, std::span<const double> ys,
                              double* __restrict u, double* __restrict v) {
  const std::size_t n = xs.size();
  u[0] = 0.0;
  v[0] = 0.0;
  for (std::size_t i = 0; i + 2 < n; ++i) {
    const double span = xs[i + 2] - xs[i];
    const double s = (xs[i + 1] - xs[i]) / span;
    const double p = s * u[i] + 2.0;
    u[i + 1] = (s - 1.0) / p;
    v[i + 1] = (6.0 * (secant(xs, ys, i + 1) - secant(xs, ys, i)) / span - s * v[i]) / p;
  }
}

}  // namespace

Expected<MonotoneCubicInterpolator, InterpolationError> MonotoneCubicInterpolator::create(
    std::vector<double> xs, std::vector<double> ys) {
  const std::size_t n = xs.size();
  if (n <= 2) {
    return Unexpected{InterpolationError::InsufficientPoints};
  }
  if (ys.size() != n) {
    return Unexpected{InterpolationError::LengthMismatch};
  }

  std::vector<double> widths(n - 1, 0.0);
  std::vector<double> secants(n - 1, 0.0);
  for (std::size_t i = 0; i + 1 < n; ++i) {
    widths[i] = xs[i + 1] - xs[i];
    secants[i] = (ys[i + 1] - ys[i]) / widths[i];
  }

  // Natural cubic spline: forward elimination of the tridiagonal system, then back substitution
  // with M = 0 at both ends.
  std::vector<double> u(n, 0.0);
  std::vector<double> v(n, 0.0);
  eliminate_natural_spline(xs, ys, u.data(), v.data());
  auto curvature = std::make_shared<std::vector<double>>(n, 0.0);
  std::vector<double>& m = *curvature;
  m[n - 1] = 0.0;
  for (std::size_t i = n - 2; i >= 1; --i) {
    m[i] = u[i] * m[i + 1] + v[i];
  }
  m[0] = 0.0;

  // Node slopes: the natural spline's slopes at the two ends, the secant over the two
  // neighbouring segments inside.
  auto slopes = std::make_shared<std::vector<double>>(n, 0.0);
  std::vector<double>& d = *slopes;
  d[0] = (2.0 * m[0] + m[1]) * widths[0] / -6.0 + secants[0];
  d[n - 1] = secants[n - 2] + widths[n - 2] * (2.0 * m[n - 1] + m[n - 2]) / 6.0;
  d[0] = limited_slope(d[0], secants[0], secants[0]);
  for (std::size_t k = 1; k + 1 < n; ++k) {
    d[k] = interior_slope(xs, ys, k);
  }
  d[n - 1] = limited_slope(d[n - 1], secants[n - 2], secants[n - 2]);

  return MonotoneCubicInterpolator(std::make_shared<const std::vector<double>>(std::move(xs)),
                                   std::make_shared<const std::vector<double>>(std::move(ys)),
                                   std::move(slopes), std::move(curvature));
}

namespace {

// The segment holding x (extended beyond the end nodes), its width and x's position in it.
struct Piece {
  std::size_t i;
  double h;
  double s;
};

Piece locate_piece(const std::vector<double>& xs, double x) {
  const std::size_t i = locate_segment(xs, x);
  const double h = xs[i + 1] - xs[i];
  return Piece{i, h, (x - xs[i]) / h};
}

}  // namespace

double MonotoneCubicPiece::value(double x) const {
  const double s = (x - x0) / h;
  const double s2 = s * s;
  const double s3 = s2 * s;
  const double h00 = 2.0 * s3 - 3.0 * s2 + 1.0;
  const double h01 = 3.0 * s2 - 2.0 * s3;
  const double h10 = s3 - 2.0 * s2 + s;
  const double h11 = s3 - s2;
  return ((h10 * h * d0 + h00 * y0) + h01 * y1) + h11 * h * d1;
}

double MonotoneCubicPiece::derivative(double x) const {
  const double s = (x - x0) / h;
  const double s2 = s * s;
  return (6.0 * (s2 - s) * y0 + (3.0 * s2 - 4.0 * s + 1.0) * h * d0 + 6.0 * (s - s2) * y1 +
          (3.0 * s2 - 2.0 * s) * h * d1) /
         h;
}

MonotoneCubicPiece MonotoneCubicInterpolator::piece(double x) const {
  const std::vector<double>& xs = *xs_;
  const std::vector<double>& ys = *ys_;
  const std::vector<double>& d = *slopes_;
  const std::size_t i = locate_segment(xs, x);
  return {xs[i], xs[i + 1] - xs[i], ys[i], ys[i + 1], d[i], d[i + 1]};
}

double MonotoneCubicInterpolator::value(double x) const {
  return piece(x).value(x);
}

double MonotoneCubicInterpolator::derivative(double x) const {
  return piece(x).derivative(x);
}

MonotoneCubicPiece interior_piece(std::span<const double> xs, std::span<const double> ys,
                                  std::size_t j) {
  return {xs[j],     xs[j + 1] - xs[j],         ys[j],
          ys[j + 1], interior_slope(xs, ys, j), interior_slope(xs, ys, j + 1)};
}

double MonotoneCubicInterpolator::second_derivative(double x) const {
  const std::vector<double>& m = *second_derivatives_;
  const auto [i, h, s] = locate_piece(*xs_, x);
  return s * m[i + 1] + (1.0 - s) * m[i];
}

double natural_second_derivative(std::span<const double> xs, std::span<const double> ys, double x,
                                 std::span<double> scratch) {
  const std::size_t n = xs.size();
  double* __restrict u = scratch.data();
  double* __restrict v = scratch.data() + n;
  eliminate_natural_spline(xs, ys, u, v);
  const std::size_t i = locate_segment(xs, x);
  const double h = xs[i + 1] - xs[i];
  const double s = (x - xs[i]) / h;
  // M at the end nodes is zero; inside, M(k) = u(k)·M(k+1) + v(k) from the top down.
  double above = 0.0;  // M at k + 1
  double at_top = 0.0;
  double at_bottom = 0.0;
  for (std::size_t k = n - 1; k-- > 1;) {
    const double m = u[k] * above + v[k];
    if (k == i + 1) {
      at_top = m;
    }
    if (k == i) {
      at_bottom = m;
      break;
    }
    above = m;
  }
  return s * at_top + (1.0 - s) * at_bottom;
}

}  // namespace vyr
