#include "methods/fixed_point/early_exercise_premium.hpp"

#include <algorithm>
#include <cmath>

#include "methods/fixed_point/normal_distribution.hpp"
#include "methods/fixed_point/time_integration.hpp"
#include "methods/fixed_point/vector_clones.hpp"

namespace vyr::fixed_point {
namespace {

constexpr std::size_t kMaxPoints = FixedPointSettings::kMaxQuadratureNodes;

// G(u_k) at the premium nodes u_k = T·cos²θ_k, where z = 2√(u/T) − 1 = 2cosθ_k − 1.
[[gnu::always_inline]] inline void boundary_at_nodes(const ExerciseBoundary& boundary,
                                                     const TimeIntegrationRule& rule, double* z,
                                                     double* g) {
  const std::size_t p = rule.size;
  const std::size_t n = boundary.degree();
  const double* coefficients = boundary.coefficients();
  std::array<double, kMaxPoints> b1;
  std::array<double, kMaxPoints> b2;
#pragma omp simd
  for (std::size_t k = 0; k < p; ++k) {
    z[k] = 2.0 * rule.cos[k] - 1.0;
    b1[k] = 0.0;
    b2[k] = 0.0;
  }
  for (std::size_t c = n; c >= 1; --c) {
    const double coefficient = coefficients[c];
#pragma omp simd
    for (std::size_t k = 0; k < p; ++k) {
      const double b0 = 2.0 * z[k] * b1[k] - b2[k] + coefficient;
      b2[k] = b1[k];
      b1[k] = b0;
    }
  }
#pragma omp simd
  for (std::size_t k = 0; k < p; ++k) {
    g[k] = std::sqrt(std::max(z[k] * b1[k] - b2[k] + coefficients[0], 0.0));
  }
}

// The quantities every premium sum needs at one node: with ℓ = ln(S/B(u)), s = T − u,
// w = σ√s, ρ = (ℓ/s + r − q)/σ² and f± = d±(s, S/B(u)) = w·(ρ ± ½).
struct PremiumPoint {
  double s, w, rho, f_plus, f_minus;
  double density_minus;  // e^{−rs}φ(f₋)
  double density_plus;   // e^{−qs}φ(f₊)
  double cdf_minus;      // e^{−rs}Φ(−f₋)
  double cdf_plus;       // e^{−qs}Φ(−f₊)
  double a;              // weight of ∫ f/(σ√s) du
  double b;              // weight of ∫ f du
};

[[gnu::always_inline]] inline PremiumPoint premium_point(const AmericanPut& put, double log_spot,
                                                         double log_limit, double sqrt_t, double g,
                                                         double sin, double cos, double weight) {
  PremiumPoint x;
  const double sigma = put.sigma;
  const double ell = log_spot - (log_limit - g);
  x.s = put.maturity * sin * sin;
  x.w = sigma * sqrt_t * sin;
  x.rho = (ell / x.s + put.r - put.q) / (sigma * sigma);
  x.f_plus = x.w * (x.rho + 0.5);
  x.f_minus = x.w * (x.rho - 0.5);
  x.density_minus = kInvSqrt2Pi * fast_exp(-put.r * x.s - 0.5 * x.f_minus * x.f_minus);
  x.density_plus = kInvSqrt2Pi * fast_exp(-put.q * x.s - 0.5 * x.f_plus * x.f_plus);
  x.cdf_minus = weighted_cdf(-x.f_minus, fast_exp(-put.r * x.s), x.density_minus);
  x.cdf_plus = weighted_cdf(-x.f_plus, fast_exp(-put.q * x.s), x.density_plus);
  x.a = 2.0 * sqrt_t * cos * weight / sigma;
  x.b = 2.0 * put.maturity * sin * cos * weight;
  return x;
}

}  // namespace

VYR_VECTOR_CLONES double early_exercise_premium(const ExerciseBoundary& boundary, double spot,
                                                std::size_t quadrature_nodes) {
  const TimeIntegrationRule& rule = premium_rule(quadrature_nodes);
  const AmericanPut& put = boundary.put();
  std::array<double, kMaxPoints> z;
  std::array<double, kMaxPoints> g;
  boundary_at_nodes(boundary, rule, z.data(), g.data());
  const double log_spot = std::log(spot);
  const double log_limit = boundary.log_limit();
  const double sqrt_t = std::sqrt(put.maturity);
  const double rk = put.r * put.strike;
  const double qs = put.q * spot;
  double premium = 0.0;
#pragma omp simd reduction(+ : premium)
  for (std::size_t k = 0; k < rule.size; ++k) {
    const PremiumPoint x = premium_point(put, log_spot, log_limit, sqrt_t, g[k], rule.sin[k],
                                         rule.cos[k], rule.weight[k]);
    premium += x.b * (rk * x.cdf_minus - qs * x.cdf_plus);
  }
  return premium;
}

VYR_VECTOR_CLONES PremiumSensitivities early_exercise_premium_sensitivities(
    const ExerciseBoundary& boundary, double spot, std::size_t quadrature_nodes) {
  const TimeIntegrationRule& rule = premium_rule(quadrature_nodes);
  const AmericanPut& put = boundary.put();
  const std::size_t p = rule.size;
  std::array<double, kMaxPoints> z;
  std::array<double, kMaxPoints> g;
  boundary_at_nodes(boundary, rule, z.data(), g.data());
  const double log_spot = std::log(spot);
  const double log_limit = boundary.log_limit();
  const double sqrt_t = std::sqrt(put.maturity);
  const double k_strike = put.strike;
  const double r = put.r;
  const double q = put.q;
  const double rk = r * k_strike;
  const double qs = q * spot;
  const double sigma = put.sigma;

  double delta = 0.0, gamma = 0.0, d_sigma = 0.0, d_r = 0.0, d_q = 0.0, d_log_b = 0.0;
  std::array<double, kMaxPoints> node_weight;
#pragma omp simd reduction(+ : delta, gamma, d_sigma, d_r, d_q, d_log_b)
  for (std::size_t k = 0; k < p; ++k) {
    const PremiumPoint x = premium_point(put, log_spot, log_limit, sqrt_t, g[k], rule.sin[k],
                                         rule.cos[k], rule.weight[k]);
    // ∂f±/∂S = 1/(S·w), ∂φ(f)/∂S = −f·φ(f)/(S·w), and b/w = a.
    delta += x.a * (q * x.density_plus - rk / spot * x.density_minus) - q * x.b * x.cdf_plus;
    gamma += x.a * (q * x.density_plus / spot * (0.5 - x.rho) +
                    rk * x.density_minus / (spot * spot) * (0.5 + x.rho));
    // ∂f±/∂σ = −f∓/σ, ∂f±/∂r = √s/σ = −∂f±/∂q.
    const double root_s = x.s / x.w;
    d_sigma += x.b * (rk * x.density_minus * x.f_plus - qs * x.density_plus * x.f_minus) / sigma;
    d_r += x.b * (k_strike * x.cdf_minus - rk * (x.s * x.cdf_minus + x.density_minus * root_s) +
                  qs * x.density_plus * root_s);
    d_q += x.b * (rk * x.density_minus * root_s - spot * x.cdf_plus +
                  qs * (x.s * x.cdf_plus - x.density_plus * root_s));
    // ∂/∂ln B(u): ∂Φ(−f)/∂ln B = φ(f)/w.
    const double log_b = x.a * (rk * x.density_minus - qs * x.density_plus);
    d_log_b += log_b;
    // ln B(u) = ln X − G(u) and ∂G/∂H = 1/(2G).
    node_weight[k] = g[k] > 1e-150 ? -log_b * 0.5 / g[k] : 0.0;
  }

  PremiumSensitivities out;
  out.delta = delta;
  out.gamma = gamma;
  out.sigma = d_sigma;
  out.r = d_r;
  out.q = d_q;
  out.log_limit = d_log_b;
  // ∂V/∂G_m = Σ_c (Σ_k weight_k·T_c(z_k))·∂c_c/∂G_m.
  const std::size_t n = boundary.degree();
  std::array<double, ExerciseBoundary::kMaxNodes + 1> row;
  std::array<double, kMaxPoints> t_previous;
  std::array<double, kMaxPoints> t_current;
  for (std::size_t c = 0; c <= n; ++c) {
    double sum = 0.0;
#pragma omp simd reduction(+ : sum)
    for (std::size_t k = 0; k < p; ++k) {
      double t;
      if (c == 0) {
        t = 1.0;
        t_previous[k] = 1.0;
      } else if (c == 1) {
        t = z[k];
        t_current[k] = z[k];
      } else {
        t = 2.0 * z[k] * t_current[k] - t_previous[k];
        t_previous[k] = t_current[k];
        t_current[k] = t;
      }
      sum += node_weight[k] * t;
    }
    row[c] = sum;
  }
  for (std::size_t m = 1; m <= n; ++m) {
    double sum = 0.0;
    for (std::size_t c = 0; c <= n; ++c) {
      sum += row[c] * boundary.coefficient_sensitivity(c, m);
    }
    out.nodes[m - 1] = sum;
  }
  return out;
}

}  // namespace vyr::fixed_point
