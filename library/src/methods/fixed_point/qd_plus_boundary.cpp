#include "methods/fixed_point/qd_plus_boundary.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>

#include "methods/fixed_point/fixed_point_settings.hpp"
#include "methods/fixed_point/normal_distribution.hpp"
#include "methods/fixed_point/vector_lanes.hpp"

namespace vyr::fixed_point {
namespace {

constexpr std::size_t kMax = FixedPointSettings::kMaxCollocationNodes;
constexpr int kMaxIterations = 40;
// Newton steps stop once every root of four moved by less than this, relative, in G = ln(X/S);
// the step that passes leaves an error of its square.
constexpr double kTolerance = 1e-4;
// The bracket of G: from S = X·(1 − 1e-15) to S = X·e^{−40}, below every root.
constexpr double kSmallestG = 1e-15;
constexpr double kLargestG = 40.0;

// The roots, `Lanes` of them at a time.
template <class Lanes>
[[gnu::always_inline]] inline void qd_plus_lanes(const AmericanPut& put, const double* tau,
                                                 std::size_t count, double* log_distance) {
  constexpr std::size_t kLaneCount = kWidth<Lanes>;
  const double strike = put.strike;
  const double r = put.r;
  const double q = put.q;
  const double sigma = put.sigma;
  const double s2 = sigma * sigma;
  const double two_over_s2 = 2.0 / s2;
  const double beta_minus_1 = 2.0 * (r - q) / s2 - 1.0;
  const double limit = put.exercise_limit();
  const double log_limit = std::log(limit / strike);  // ln(X/K)

  // The perpetual boundary, for the starting estimate B∞ + (X − B∞)·e^{h} of Barone-Adesi and
  // Whaley.
  const double perpetual = put.perpetual_boundary();
  const double spread = limit - perpetual;

  // Each root in G = ln(X/S) > 0, by Newton steps in ln G, in which the residual is close to
  // linear even at the shortest times, where G is tiny.
  const std::size_t lanes = whole_lanes(count);
  std::array<double, kMax> padded;
  for (std::size_t j = 0; j < lanes; ++j) {
    padded[j] = tau[std::min(j, count - 1)];
  }
  // The constants of each root's equation, a Lanes of roots at a time.
  struct Root {
    Lanes inverse_tau, inverse_vol, vol, rate_discount, yield_discount, lambda, front, lambda_term,
        inverse_denominator, half_vol_rate, carry, discount_ratio;
    Lanes g, low, high, seed;
    bool done;
  };
  constexpr std::size_t kQuads = kMax / kLaneCount;
  std::array<Root, kQuads> roots;
  const std::size_t quads = lanes / kLaneCount;
  for (std::size_t i = 0; i < quads; ++i) {
    Root& x = roots[i];
    const Lanes t = load_lanes<Lanes>(padded.data() + i * kLaneCount);
    const Lanes sqrt_tau = lane_sqrt(t);
    x.vol = sigma * sqrt_tau;
    x.inverse_vol = 1.0 / x.vol;
    x.inverse_tau = 1.0 / t;
    x.rate_discount = fast_exp(-r * t);
    x.yield_discount = fast_exp(-q * t);
    // α/h = 2r/(σ²(1 − e^{−rτ})), which tends to 2/(σ²τ) as rτ → 0.
    const Lanes rt = r * t;
    const Lanes one_minus_h = x.rate_discount;
    const Lanes h_over_rt = lane_abs(rt) < 1e-8 ? 1.0 - 0.5 * rt : (1.0 - one_minus_h) / rt;
    const Lanes alpha_over_h = two_over_s2 * x.inverse_tau / h_over_rt;
    const Lanes root = lane_sqrt(beta_minus_1 * beta_minus_1 + 4.0 * alpha_over_h);
    x.lambda = 0.5 * (-beta_minus_1 - root);
    x.inverse_denominator = -1.0 / root;  // 1/(2λ + β − 1)
    x.front = one_minus_h * alpha_over_h;
    x.lambda_term = one_minus_h * alpha_over_h * alpha_over_h / root * x.inverse_denominator;
    x.half_vol_rate = 0.5 * sigma / sqrt_tau;
    x.carry = (r - q) * t;
    // φ(d₂) = φ(d₁)·S·e^{−qτ}/(K·e^{−rτ}).
    x.discount_ratio = x.yield_discount / (strike * x.rate_discount);
    const Lanes h = ((r - q) * t - 2.0 * x.vol) * (limit / spread);
    const Lanes start = perpetual + spread * fast_exp(h < 0.0 ? h : Lanes{});
    for (std::size_t l = 0; l < kLaneCount; ++l) {
      x.g[l] = std::max(std::log(limit / start[l]), 1e-12);
      // Near expiry the closed-form estimate is too close to the boundary's start: there the
      // boundary of a put with q < r approaches K like K·exp(−σ√(τ·ln(σ²/(8π(r − q)²τ)))), the
      // QD+ root for q = r like K·exp(−σ√(1.6·τ·ln(1/(rτ)))), and with q > r the boundary
      // leaves K·r/q like X·exp(−0.64·σ√τ), where the estimate is about three times too far.
      if (put.off_strike()) {
        x.g[l] = std::min(x.g[l], 0.64 * sigma * std::sqrt(t[l]));
      } else {
        const double argument =
            q < r ? s2 / (8.0 * std::numbers::pi * (r - q) * (r - q) * t[l]) : 1.0 / (r * t[l]);
        const double factor = q < r ? 1.0 : 1.6;
        if (argument > std::numbers::e) {
          x.g[l] = std::max(x.g[l], sigma * std::sqrt(factor * t[l] * std::log(argument)));
        }
      }
    }
    x.seed = x.g;
    x.low = Lanes{} + kSmallestG;
    x.high = Lanes{} + kLargestG;
    x.done = false;
  }

  // All roots advance together, so that the independent quads overlap in the processor.
  for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
    bool all_done = true;
    for (std::size_t i = 0; i < quads; ++i) {
      Root& x = roots[i];
      if (x.done) {
        continue;
      }
      const Lanes g = x.g;
      const Lanes y = log_limit - g;  // ln(S/K)
      const Lanes s = strike * fast_exp(y);
      const Lanes d1 = (y + x.carry) * x.inverse_vol + 0.5 * x.vol;
      const Lanes d2 = d1 - x.vol;
      const Lanes density = normal_density(d1);
      const Lanes density_2 = density * s * x.discount_ratio;
      const Lanes n_minus_d1 = weighted_cdf(-d1, Lanes{} + 1.0, density);
      const Lanes n_minus_d2 = weighted_cdf(-d2, Lanes{} + 1.0, density_2);
      const Lanes dq = x.yield_discount;
      const Lanes sdq = s * dq;
      const Lanes kdr = strike * x.rate_discount;
      const Lanes european = kdr * n_minus_d2 - sdq * n_minus_d1;
      const Lanes theta =
          -sdq * density * x.half_vol_rate - q * sdq * n_minus_d1 + r * kdr * n_minus_d2;
      const Lanes premium = strike - s - european;
      const Lanes inverse_premium = 1.0 / premium;
      const Lanes c0 = -x.inverse_denominator *
                       (x.front - two_over_s2 * theta * inverse_premium + x.lambda_term);
      const Lanes value = (1.0 - dq * n_minus_d1) * s + (x.lambda + c0) * premium;
      // d/dS of the residual, c₀'s dependence on S through Θ and the premium included.
      const Lanes theta_ds =
          dq * density * (-x.half_vol_rate + 0.5 * d1 * x.inverse_tau + (q - r) * x.inverse_vol) -
          q * dq * n_minus_d1;
      const Lanes premium_ds = -1.0 + dq * n_minus_d1;
      const Lanes c0_ds = x.inverse_denominator * two_over_s2 *
                          (theta_ds * premium - theta * premium_ds) * inverse_premium *
                          inverse_premium;
      const Lanes slope = 1.0 - dq * n_minus_d1 + dq * density * x.inverse_vol + c0_ds * premium +
                          (x.lambda + c0) * premium_ds;
      // Negative below the root (large G), positive above; a residual that is not finite means
      // S is too close to X for the premium to be resolved, so the root is below.
      const auto finite = lane_abs(value) < 1e300;
      const auto below = finite & (value < 0.0);
      x.high = below ? g : x.high;
      x.low = below ? x.low : g;
      // dS/dln G = −S·G: the Newton step in ln G, applied as a factor on G.
      const Lanes step = value / (slope * s * g);
      const Lanes newton = g * fast_exp(step < 30.0 ? step : Lanes{} + 30.0);
      const auto inside = finite & (newton >= x.low) & (newton <= x.high);
      const Lanes next = inside ? newton : lane_sqrt(x.low * x.high);
      // |next − g|/g, tested against the tolerance without a division.
      const auto moved = lane_abs(next - g) >= kTolerance * g;
      x.g = next;
      x.done = !any_lane(moved);
      all_done = all_done && x.done;
    }
    if (all_done) {
      break;
    }
  }
  for (std::size_t i = 0; i < quads; ++i) {
    const std::size_t first = i * kLaneCount;
    const std::size_t stored = std::min(kLaneCount, count - first);
    for (std::size_t l = 0; l < stored; ++l) {
      // A root the iterations could not resolve (at times to maturity so short that the equation
      // drowns in rounding, below about 1e-14 years) keeps its starting estimate.
      const double g = roots[i].g[l];
      log_distance[first + l] = g > 0.0 && g < 0.5 * kLargestG ? g : roots[i].seed[l];
    }
  }
}

VYR_WIDE_LANES void qd_plus_wide(const AmericanPut& put, const double* tau, std::size_t count,
                                 double* log_distance) {
  qd_plus_lanes<Lanes4>(put, tau, count, log_distance);
}

void qd_plus_narrow(const AmericanPut& put, const double* tau, std::size_t count,
                    double* log_distance) {
  qd_plus_lanes<Lanes2>(put, tau, count, log_distance);
}

}  // namespace

void qd_plus_boundary(const AmericanPut& put, const double* tau, std::size_t count,
                      double* log_distance) {
  if (wide_lanes()) {
    qd_plus_wide(put, tau, count, log_distance);
  } else {
    qd_plus_narrow(put, tau, count, log_distance);
  }
}

}  // namespace vyr::fixed_point
