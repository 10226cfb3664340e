// The coordinate transforms between spot S and the grid coordinate x, with the derivatives of S
// with respect to x that the operator and the boundary rows use.
#pragma once

#include <cmath>

#include "methods/finite_difference/fdm_config.hpp"

namespace vyr {

// S and its first two derivatives with respect to x at one point.
struct TransformPoint {
  double s;
  double ds_dx;
  double d2s_dx2;
};

// Log: x = ln S. Sinh: x = asinh(ln(S/K) / α), centred on K, dense around it.
class CoordinateTransform {
 public:
  CoordinateTransform(TransformKind kind, double centre, double alpha)
      : kind_(kind), centre_(centre), alpha_(alpha) {}

  TransformKind kind() const { return kind_; }
  double centre() const { return centre_; }
  double alpha() const { return alpha_; }

  double to_x(double s) const {
    if (kind_ == TransformKind::Log) {
      return std::log(s);
    }
    return std::asinh(std::log(s / centre_) / alpha_);
  }

  double to_s(double x) const {
    if (kind_ == TransformKind::Log) {
      return std::exp(x);
    }
    // The exponential first, then the product with the centre.
    return std::exp(alpha_ * std::sinh(x)) * centre_;
  }

  double ds_dx(double x) const {
    if (kind_ == TransformKind::Log) {
      return std::exp(x);
    }
    return alpha_ * std::cosh(x) * (centre_ * std::exp(alpha_ * std::sinh(x)));
  }

  double d2s_dx2(double x) const {
    if (kind_ == TransformKind::Log) {
      return std::exp(x);
    }
    const double sh = std::sinh(x);
    const double ch = std::cosh(x);
    return (alpha_ * sh + alpha_ * alpha_ * (ch * ch)) * (std::exp(alpha_ * sh) * centre_);
  }

  // The three values of to_s, ds_dx and d2s_dx2 at x, each transcendental evaluated once.
  TransformPoint at(double x) const {
    if (kind_ == TransformKind::Log) {
      const double e = std::exp(x);
      return {e, e, e};
    }
    const double sh = std::sinh(x);
    const double ch = std::cosh(x);
    const double s = std::exp(alpha_ * sh) * centre_;
    return {s, alpha_ * ch * s, (alpha_ * sh + alpha_ * alpha_ * (ch * ch)) * s};
  }

 private:
  TransformKind kind_;
  double centre_;
  double alpha_;
};

}  // namespace vyr
