#include "methods/fixed_point/qd_plus_boundary.hpp"

#include <algorithm>
#include <array>
#include <cmath>

#include "methods/fixed_point/fixed_point_settings.hpp"
#include "methods/fixed_point/normal_distribution.hpp"
#include "methods/fixed_point/vector_clones.hpp"

namespace vyr::fixed_point {
namespace {

constexpr std::size_t kMax = FixedPointSettings::kMaxCollocationNodes;
constexpr int kMaxIterations = 40;
// Newton steps stop once every root moved by less than this (relative, in ln(X/S)).
constexpr double kTolerance = 1e-6;
// The bracket of ln ln(X/S): from S = X·(1 − 1e-15) to S = X·e^{−40}, below every root.
constexpr double kLowest = -34.5;
constexpr double kHighest = 3.7;

}  // namespace

VYR_VECTOR_CLONES void qd_plus_boundary(const AmericanPut& put, const double* tau,
                                        std::size_t count, double* boundary) {
  const double strike = put.strike;
  const double r = put.r;
  const double q = put.q;
  const double sigma = put.sigma;
  const double s2 = sigma * sigma;
  const double two_over_s2 = 2.0 / s2;
  const double beta_minus_1 = 2.0 * (r - q) / s2 - 1.0;
  const double limit = put.exercise_limit();
  const double log_limit = std::log(limit / strike);  // ln(X/K)

  // The perpetual boundary, for the starting estimate B∞ + (X − B∞)·e^{h}.
  const double lambda_infinite =
      0.5 * (-beta_minus_1 - std::sqrt(beta_minus_1 * beta_minus_1 + 8.0 * r / s2));
  const double perpetual = std::max(strike * lambda_infinite / (lambda_infinite - 1.0), 0.0);

  // Per root: the constants of its equation, the iterate u = ln G with G = ln(X/S) (in which the
  // residual is close to linear, even for the shortest times where G is tiny) and its bracket.
  std::array<double, kMax> sqrt_tau, vol, rate_discount, yield_discount, lambda, front, lambda_term,
      inverse_denominator, u, low, high;
#pragma omp simd
  for (std::size_t j = 0; j < count; ++j) {
    const double t = tau[j];
    sqrt_tau[j] = std::sqrt(t);
    vol[j] = sigma * sqrt_tau[j];
    rate_discount[j] = fast_exp(-r * t);
    yield_discount[j] = fast_exp(-q * t);
    // α/h = 2r/(σ²(1 − e^{−rτ})), which tends to 2/(σ²τ) as rτ → 0.
    const double rt = r * t;
    const double one_minus_h = rate_discount[j];
    const double h_over_rt = std::fabs(rt) < 1e-8 ? 1.0 - 0.5 * rt : (1.0 - one_minus_h) / rt;
    const double alpha_over_h = two_over_s2 / (t * h_over_rt);
    const double root = std::sqrt(beta_minus_1 * beta_minus_1 + 4.0 * alpha_over_h);
    lambda[j] = 0.5 * (-beta_minus_1 - root);
    inverse_denominator[j] = -1.0 / root;
    front[j] = one_minus_h * alpha_over_h;
    lambda_term[j] = one_minus_h * alpha_over_h * alpha_over_h / root * inverse_denominator[j];
    const double spread = limit - perpetual;
    const double h = ((r - q) * t - 2.0 * vol[j]) * limit / spread;
    const double start = perpetual + spread * fast_exp(std::min(h, 0.0));
    u[j] = std::log(std::max(std::log(limit / start), 1e-12));
    low[j] = kLowest;
    high[j] = kHighest;
  }

  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    double largest_step = 0.0;
#pragma omp simd reduction(max : largest_step)
    for (std::size_t j = 0; j < count; ++j) {
      const double g = fast_exp(u[j]);
      const double y = log_limit - g;  // ln(S/K)
      const double s = strike * fast_exp(y);
      const double v = vol[j];
      const double d1 = (y + (r - q) * tau[j]) / v + 0.5 * v;
      const double d2 = d1 - v;
      const double dq = yield_discount[j];
      const double dr = rate_discount[j];
      const double density = normal_density(d1);
      const double n_minus_d1 = normal_cdf_fast(-d1);
      const double n_minus_d2 = normal_cdf_fast(-d2);
      const double european = strike * dr * n_minus_d2 - s * dq * n_minus_d1;
      const double half_vol_rate = sigma / (2.0 * sqrt_tau[j]);
      const double theta = -s * dq * density * half_vol_rate - q * s * dq * n_minus_d1 +
                           r * strike * dr * n_minus_d2;
      const double premium = strike - s - european;
      const double c0 =
          -inverse_denominator[j] * (front[j] - two_over_s2 * theta / premium + lambda_term[j]);
      const double value = (1.0 - dq * n_minus_d1) * s + (lambda[j] + c0) * premium;
      // d/dS of the residual, c₀'s dependence on S through Θ and the premium included.
      const double theta_ds =
          dq * density * (-half_vol_rate + d1 / (2.0 * tau[j]) + (q - r) / v) - q * dq * n_minus_d1;
      const double premium_ds = -1.0 + dq * n_minus_d1;
      const double c0_ds = inverse_denominator[j] * two_over_s2 *
                           (theta_ds * premium - theta * premium_ds) / (premium * premium);
      const double slope = 1.0 - dq * n_minus_d1 + dq * density / v + c0_ds * premium +
                           (lambda[j] + c0) * premium_ds;
      // Negative below the root (large G), positive above; a residual that is not finite means
      // S is too close to X for the premium to be resolved, so the root is below.
      const bool finite = std::fabs(value) < 1e300;
      const bool below = finite && value < 0.0;
      high[j] = below ? u[j] : high[j];
      low[j] = below ? low[j] : u[j];
      // dS/du = −S·G.
      const double newton = u[j] + value / (slope * s * g);
      const bool inside = finite && newton >= low[j] && newton <= high[j];
      const double next = inside ? newton : 0.5 * (low[j] + high[j]);
      largest_step = std::max(largest_step, std::fabs(next - u[j]));
      u[j] = next;
    }
    if (largest_step < kTolerance) {
      break;
    }
  }
#pragma omp simd
  for (std::size_t j = 0; j < count; ++j) {
    boundary[j] = std::min(limit * fast_exp(-fast_exp(u[j])), limit);
  }
}

}  // namespace vyr::fixed_point
