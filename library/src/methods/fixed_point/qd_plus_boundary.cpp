#include "methods/fixed_point/qd_plus_boundary.hpp"

#include <cmath>

#include "methods/fixed_point/normal_distribution.hpp"

namespace vyr::fixed_point {
namespace {

// The pieces of the QD+ equation that do not depend on S*.
struct Constants {
  double strike;
  double r;
  double q;
  double sigma;
  double tau;
  double sqrt_tau;
  double vol;                  // σ√τ
  double rate_discount;        // e^{−rτ}
  double yield_discount;       // e^{−qτ}
  double lambda;               // λ
  double one_minus_h;          // 1 − h = e^{−rτ}
  double alpha_over_h;         // α/h
  double lambda_term;          // (1 − h)·α·λ'/(2λ + β − 1)
  double inverse_denominator;  // 1/(2λ + β − 1) = −1/√((β − 1)² + 4α/h)
};

Constants constants(const AmericanPut& put, double tau) {
  Constants c;
  const double s2 = put.sigma * put.sigma;
  c.strike = put.strike;
  c.r = put.r;
  c.q = put.q;
  c.sigma = put.sigma;
  c.tau = tau;
  c.sqrt_tau = std::sqrt(tau);
  c.vol = put.sigma * c.sqrt_tau;
  c.rate_discount = std::exp(-put.r * tau);
  c.yield_discount = std::exp(-put.q * tau);
  c.one_minus_h = c.rate_discount;
  // α/h = 2r/(σ²(1 − e^{−rτ})), which tends to 2/(σ²τ) as r → 0.
  const double rt = put.r * tau;
  c.alpha_over_h = rt == 0.0 ? 2.0 / (s2 * tau) : 2.0 * rt / (s2 * tau * -std::expm1(-rt));
  const double beta_minus_1 = 2.0 * (put.r - put.q) / s2 - 1.0;
  const double root = std::sqrt(beta_minus_1 * beta_minus_1 + 4.0 * c.alpha_over_h);
  c.lambda = 0.5 * (-beta_minus_1 - root);
  c.inverse_denominator = -1.0 / root;
  // (1 − h)·α·λ' = (1 − h)·(α/h)²/√(...).
  c.lambda_term = c.one_minus_h * c.alpha_over_h * c.alpha_over_h / root * c.inverse_denominator;
  return c;
}

// The QD+ residual at S and its derivative in S.
void residual(const Constants& c, double s, double& value, double& derivative) {
  const double d1 = (std::log(s / c.strike) + (c.r - c.q) * c.tau) / c.vol + 0.5 * c.vol;
  const double d2 = d1 - c.vol;
  const double density = normal_density(d1);
  const double n_minus_d1 = normal_cdf_fast(-d1);
  const double n_minus_d2 = normal_cdf_fast(-d2);
  const double dq = c.yield_discount;
  const double european = c.strike * c.rate_discount * n_minus_d2 - s * dq * n_minus_d1;
  const double theta = -s * dq * density * c.sigma / (2.0 * c.sqrt_tau) -
                       c.q * s * dq * n_minus_d1 + c.r * c.strike * c.rate_discount * n_minus_d2;
  const double premium = c.strike - s - european;
  const double two_over_s2 = 2.0 / (c.sigma * c.sigma);
  const double bracket =
      c.one_minus_h * c.alpha_over_h - two_over_s2 * theta / premium + c.lambda_term;
  const double c0 = -c.inverse_denominator * bracket;
  value = (1.0 - dq * n_minus_d1) * s + (c.lambda + c0) * premium;

  const double theta_ds =
      dq * density * (-c.sigma / (2.0 * c.sqrt_tau) + d1 / (2.0 * c.tau) + (c.q - c.r) / c.vol) -
      c.q * dq * n_minus_d1;
  const double premium_ds = -1.0 + dq * n_minus_d1;
  const double c0_ds = c.inverse_denominator * two_over_s2 *
                       (theta_ds * premium - theta * premium_ds) / (premium * premium);
  derivative =
      1.0 - dq * n_minus_d1 + dq * density / c.vol + c0_ds * premium + (c.lambda + c0) * premium_ds;
}

}  // namespace

double qd_plus_boundary(const AmericanPut& put, double tau, double start) {
  const double limit = put.exercise_limit();
  const Constants c = constants(put, tau);
  // The residual is negative below the root and positive between it and X. A bracket [low, high]
  // keeps the Newton steps safe; a step that leaves it, or a residual that is not finite, falls
  // back to bisection.
  double low = 0.0;
  double high = limit;
  double s = start > 0.0 && start < limit ? start : 0.5 * limit;
  for (int iteration = 0; iteration < 60; ++iteration) {
    double value;
    double derivative;
    residual(c, s, value, derivative);
    if (!std::isfinite(value)) {
      // Only where the premium K − S − p(S) vanishes to rounding: S is too close to X.
      high = s;
      s = 0.5 * (low + high);
      continue;
    }
    if (value < 0.0) {
      low = s;
    } else {
      high = s;
    }
    double next = s - value / derivative;
    if (!(next > low && next < high)) {
      next = low > 0.0 ? 0.5 * (low + high) : 0.5 * high;
    }
    if (std::fabs(next - s) <= 1e-9 * s) {
      return next;
    }
    s = next;
    if (high - low <= 1e-12 * limit) {
      break;
    }
  }
  return s;
}

}  // namespace vyr::fixed_point
