#include "methods/fixed_point/early_exercise_premium.hpp"

#include <algorithm>
#include <cmath>

#include "methods/fixed_point/normal_distribution.hpp"
#include "methods/fixed_point/time_integration.hpp"
#include "methods/fixed_point/vector_lanes.hpp"

namespace vyr::fixed_point {
namespace {

// A stretch of the premium integral over the boundary's time to maturity u: with horizon H <= T,
// u in [0, H] follows the interpolated boundary and u in [H, T] the constant boundary beyond the
// horizon. Each is integrated in its own angle: u = H·cos²θ (s = T − u = (T − H) + H·sin²θ) and
// s = (T − H)·sin²θ.
struct Segment {
  bool interpolated;
  double offset;  // the smallest s of the stretch: T − H, or 0
  double length;  // H, or T − H
};

// The quantities every premium sum needs at a Lanes of nodes: with ℓ = ln(S/B(u)), s = T − u,
// w = σ√s, ρ = (ℓ/s + r − q)/σ² and f± = d±(s, S/B(u)) = w·(ρ ± ½).
template <class Lanes>
struct PremiumPoints {
  Lanes z;  // 2x − 1 with x = (u/H)^(1/k), where the boundary is interpolated
  Lanes g;  // G(u)
  Lanes s, w, rho, f_plus, f_minus;
  Lanes density_minus;  // e^{−rs}φ(f₋)
  Lanes density_plus;   // e^{−qs}φ(f₊)
  Lanes cdf_minus;      // e^{−rs}Φ(−f₋)
  Lanes cdf_plus;       // e^{−qs}Φ(−f₊)
  Lanes b;              // weight of ∫ f du
  Lanes a;              // weight of ∫ f/(σ√s) du, b/w
};

// Without `kYield` (q = 0) the terms in e^{−qs} are left out.
template <class Lanes, bool kYield = true>
[[gnu::always_inline]] inline PremiumPoints<Lanes> premium_points(const ExerciseBoundary& boundary,
                                                                  const TimeIntegrationRule& rule,
                                                                  const Segment& segment,
                                                                  std::size_t k, double log_spot) {
  const AmericanPut& put = boundary.put();
  const double sigma = put.sigma;
  PremiumPoints<Lanes> x;
  if (segment.interpolated) {
    // Clenshaw's recurrence for H(z) at u = H·cos²θ, where x = (cosθ)^(2/k).
    const double* interpolation_cos = put.off_strike() ? rule.cos : rule.cos_power;
    x.z = 2.0 * load_lanes<Lanes>(interpolation_cos + k) - 1.0;
    x.g = lane_sqrt(
        lane_max(chebyshev_sum(boundary.coefficients(), boundary.degree(), x.z), Lanes{}));
  } else {
    x.z = Lanes{} + 1.0;
    x.g = Lanes{} + boundary.settled_log_distance();
  }
  const Lanes ell = log_spot - (boundary.log_limit() - x.g);
  const Lanes sin = load_lanes<Lanes>(rule.sin + k);
  const Lanes cos = load_lanes<Lanes>(rule.cos + k);
  const Lanes weight = load_lanes<Lanes>(rule.weight + k);
  const Lanes sin_squared_part = segment.length * sin * sin;
  x.s = segment.offset + sin_squared_part;
  if (segment.offset == 0.0) {
    // s = L·sin²θ: the 1/s and 1/√s of the integrands come from the rule's tables.
    x.w = (sigma * std::sqrt(segment.length)) * sin;
    x.rho =
        (ell * load_lanes<Lanes>(rule.inverse_sin_squared + k) / segment.length + (put.r - put.q)) /
        (sigma * sigma);
    x.a = (2.0 * std::sqrt(segment.length) / sigma) * cos * weight;
  } else {
    x.w = sigma * lane_sqrt(x.s);
    x.rho = (ell / x.s + (put.r - put.q)) / (sigma * sigma);
  }
  x.f_plus = x.w * (x.rho + 0.5);
  x.f_minus = x.w * (x.rho - 0.5);
  x.density_minus = kInvSqrt2Pi * fast_exp(-put.r * x.s - 0.5 * x.f_minus * x.f_minus);
  x.cdf_minus = weighted_cdf(-x.f_minus, fast_exp(-put.r * x.s), x.density_minus);
  if constexpr (kYield) {
    x.density_plus = kInvSqrt2Pi * fast_exp(-put.q * x.s - 0.5 * x.f_plus * x.f_plus);
    x.cdf_plus = weighted_cdf(-x.f_plus, fast_exp(-put.q * x.s), x.density_plus);
  } else {
    x.density_plus = Lanes{};
    x.cdf_plus = Lanes{};
  }
  x.b = (2.0 * segment.length) * sin * cos * weight;
  if (segment.offset != 0.0) {
    x.a = x.b / x.w;
  }
  return x;
}

// The stretches of [0, T]: one when the horizon is the maturity, two when it is shorter.
std::size_t segments(const ExerciseBoundary& boundary, Segment* out) {
  const double maturity = boundary.put().maturity;
  const double horizon = boundary.horizon();
  if (horizon >= maturity) {
    out[0] = Segment{true, 0.0, maturity};
    return 1;
  }
  out[0] = Segment{true, maturity - horizon, horizon};
  out[1] = Segment{false, 0.0, maturity - horizon};
  return 2;
}

template <class Lanes>
[[gnu::always_inline]] inline double premium_lanes(const ExerciseBoundary& boundary, double spot,
                                                   std::size_t quadrature_nodes) {
  constexpr std::size_t kLaneCount = kWidth<Lanes>;
  const TimeIntegrationRule& rule = premium_rule(quadrature_nodes);
  const AmericanPut& put = boundary.put();
  const double log_spot = std::log(spot);
  const double rk = put.r * put.strike;
  const double qs = put.q * spot;
  Segment parts[2];
  const std::size_t count = segments(boundary, parts);
  Lanes premium{};
  for (std::size_t i = 0; i < count; ++i) {
    if (put.q != 0.0) {
      for (std::size_t k = 0; k < rule.padded_size; k += kLaneCount) {
        const auto x = premium_points<Lanes>(boundary, rule, parts[i], k, log_spot);
        premium += x.b * (rk * x.cdf_minus - qs * x.cdf_plus);
      }
    } else {
      for (std::size_t k = 0; k < rule.padded_size; k += kLaneCount) {
        const auto x = premium_points<Lanes, false>(boundary, rule, parts[i], k, log_spot);
        premium += x.b * (rk * x.cdf_minus);
      }
    }
  }
  return lane_sum(premium);
}

template <class Lanes>
[[gnu::always_inline]] inline PremiumSensitivities sensitivities_lanes(
    const ExerciseBoundary& boundary, double spot, std::size_t quadrature_nodes) {
  constexpr std::size_t kLaneCount = kWidth<Lanes>;
  const TimeIntegrationRule& rule = premium_rule(quadrature_nodes);
  const AmericanPut& put = boundary.put();
  const double log_spot = std::log(spot);
  const double k_strike = put.strike;
  const double r = put.r;
  const double q = put.q;
  const double rk = r * k_strike;
  const double qs = q * spot;
  const double sigma = put.sigma;
  const std::size_t n = boundary.degree();
  Segment parts[2];
  const std::size_t count = segments(boundary, parts);

  Lanes delta{}, gamma{}, d_sigma{}, d_r{}, d_q{}, d_log_b{}, d_settled{};
  // Σ_k weight_k·T_c(z_k) for the derivatives in the node values.
  std::array<Lanes, ExerciseBoundary::kMaxNodes + 1> row{};
  for (std::size_t i = 0; i < count; ++i) {
    const Segment& segment = parts[i];
    for (std::size_t k = 0; k < rule.padded_size; k += kLaneCount) {
      const auto x = premium_points<Lanes>(boundary, rule, segment, k, log_spot);
      // ∂f±/∂S = 1/(S·w), ∂φ(f)/∂S = −f·φ(f)/(S·w), and b/w = a.
      delta += x.a * (q * x.density_plus - rk / spot * x.density_minus) - q * x.b * x.cdf_plus;
      gamma += x.a * (q * x.density_plus / spot * (0.5 - x.rho) +
                      rk * x.density_minus / (spot * spot) * (0.5 + x.rho));
      // ∂f±/∂σ = −f∓/σ, ∂f±/∂r = √s/σ = −∂f±/∂q.
      const Lanes root_s = x.s / x.w;
      d_sigma += x.b * (rk * x.density_minus * x.f_plus - qs * x.density_plus * x.f_minus) / sigma;
      d_r += x.b * (k_strike * x.cdf_minus - rk * (x.s * x.cdf_minus + x.density_minus * root_s) +
                    qs * x.density_plus * root_s);
      d_q += x.b * (rk * x.density_minus * root_s - spot * x.cdf_plus +
                    qs * (x.s * x.cdf_plus - x.density_plus * root_s));
      // ∂/∂ln B(u): ∂Φ(−f)/∂ln B = φ(f)/w; ln B(u) = ln X − G(u).
      const Lanes log_b = x.a * (rk * x.density_minus - qs * x.density_plus);
      d_log_b += log_b;
      if (!segment.interpolated) {
        // Beyond the horizon the boundary is the last node's.
        d_settled -= log_b;
        continue;
      }
      // ∂G/∂H = 1/(2G), and H = Σ_c c_c·T_c(z).
      const Lanes weight = x.g > 1e-150 ? -0.5 * log_b / x.g : Lanes{};
      Lanes t_previous = Lanes{} + 1.0;
      Lanes t_current = x.z;
      row[0] += weight;
      row[1] += weight * x.z;
      const Lanes two_z = x.z + x.z;
      for (std::size_t c = 2; c <= n; ++c) {
        const Lanes t_next = two_z * t_current - t_previous;
        t_previous = t_current;
        t_current = t_next;
        row[c] += weight * t_next;
      }
    }
  }

  PremiumSensitivities out;
  out.delta = lane_sum(delta);
  out.gamma = lane_sum(gamma);
  out.sigma = lane_sum(d_sigma);
  out.r = lane_sum(d_r);
  out.q = lane_sum(d_q);
  out.log_limit = lane_sum(d_log_b);
  // ∂V/∂G_m = Σ_c row_c·∂c_c/∂G_m.
  std::array<double, ExerciseBoundary::kMaxNodes + 1> row_sum;
  for (std::size_t c = 0; c <= n; ++c) {
    row_sum[c] = lane_sum(row[c]);
  }
  for (std::size_t m = 1; m <= n; ++m) {
    double sum = 0.0;
    for (std::size_t c = 0; c <= n; ++c) {
      sum += row_sum[c] * boundary.coefficient_sensitivity(c, m);
    }
    out.nodes[m - 1] = sum;
  }
  out.nodes[n - 1] += lane_sum(d_settled);
  return out;
}

VYR_WIDE_LANES double premium_wide(const ExerciseBoundary& boundary, double spot,
                                   std::size_t quadrature_nodes) {
  return premium_lanes<Lanes4>(boundary, spot, quadrature_nodes);
}

double premium_narrow(const ExerciseBoundary& boundary, double spot, std::size_t quadrature_nodes) {
  return premium_lanes<Lanes2>(boundary, spot, quadrature_nodes);
}

VYR_WIDE_LANES PremiumSensitivities sensitivities_wide(const ExerciseBoundary& boundary,
                                                       double spot, std::size_t quadrature_nodes) {
  return sensitivities_lanes<Lanes4>(boundary, spot, quadrature_nodes);
}

PremiumSensitivities sensitivities_narrow(const ExerciseBoundary& boundary, double spot,
                                          std::size_t quadrature_nodes) {
  return sensitivities_lanes<Lanes2>(boundary, spot, quadrature_nodes);
}

}  // namespace

double early_exercise_premium(const ExerciseBoundary& boundary, double spot,
                              std::size_t quadrature_nodes) {
  return wide_lanes() ? premium_wide(boundary, spot, quadrature_nodes)
                      : premium_narrow(boundary, spot, quadrature_nodes);
}

PremiumSensitivities early_exercise_premium_sensitivities(const ExerciseBoundary& boundary,
                                                          double spot,
                                                          std::size_t quadrature_nodes) {
  return wide_lanes() ? sensitivities_wide(boundary, spot, quadrature_nodes)
                      : sensitivities_narrow(boundary, spot, quadrature_nodes);
}

}  // namespace vyr::fixed_point
