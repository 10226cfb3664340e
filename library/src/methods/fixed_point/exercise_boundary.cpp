#include "methods/fixed_point/exercise_boundary.hpp"

#include <algorithm>
#include <cmath>

#include "methods/fixed_point/normal_distribution.hpp"
#include "methods/fixed_point/qd_plus_boundary.hpp"
#include "methods/fixed_point/time_integration.hpp"
#include "methods/fixed_point/vector_clones.hpp"

namespace vyr::fixed_point {
namespace {

constexpr std::size_t kMaxPoints = FixedPointSettings::kMaxQuadratureNodes;

// A boundary value G(u) this small is treated as the fixed point G(0) = 0 when the Jacobian
// divides by it (∂G/∂H = 1/(2G)).
constexpr double kTinyG = 1e-150;

// The integrals of one collocation node τ over u in [0, τ], written with
// ℓ = ln(B(τ)/B(u)) = G(u) − G(τ), s = τ − u, w = σ√s, ρ = (ℓ/s + r − q)/σ² and
// e± = d±(s, e^ℓ) = w·(ρ ± ½):
//   numerator   Σ a·e^{−rs}φ(e₋)                      (a·f sums ∫ f/(σ√s) du)
//   denominator Σ b·e^{−qs}Φ(e₊) + a·e^{−qs}φ(e₊)      (b·f sums ∫ f du)
// and their derivatives in ℓ, with the Chebyshev-basis rows of the Jacobian.
struct NodeIntegrals {
  double numerator;
  double denominator;
  double numerator_dl;    // Σ ∂/∂ℓ of the numerator terms
  double denominator_dl;  // Σ ∂/∂ℓ of the denominator terms
  // Σ_k r·(∂numerator_k/∂ℓ)·T_c(z_k)/(2G(u_k)), and the same for the denominator with q.
  std::array<double, ExerciseBoundary::kMaxNodes + 1> numerator_row;
  std::array<double, ExerciseBoundary::kMaxNodes + 1> denominator_row;
  // Σ of the derivatives in σ, r and q at fixed boundary (without the r or q factor in front).
  double numerator_sigma, numerator_r, numerator_q;
  double denominator_sigma, denominator_r, denominator_q;
};

struct NodeInputs {
  double tau;
  double sqrt_tau;
  double g;       // G(τ)
  double zscale;  // 1 + z_j: √(u/T) = (1 + z_j)/2·cosθ, so z(u) = zscale·cosθ − 1
};

template <bool kJacobian, bool kParameters>
[[gnu::always_inline]] inline void integrate_node(const AmericanPut& put, const NodeInputs& node,
                                                  const double* coefficients, std::size_t degree,
                                                  const TimeIntegrationRule& rule,
                                                  NodeIntegrals& out) {
  const std::size_t p = rule.size;
  const double sigma = put.sigma;
  const double r = put.r;
  const double q = put.q;
  const double drift = r - q;
  const double inverse_variance = 1.0 / (sigma * sigma);
  const double a_scale = 2.0 * node.sqrt_tau / sigma;
  const double b_scale = 2.0 * node.tau;

  std::array<double, kMaxPoints> z;
  std::array<double, kMaxPoints> b1;
  std::array<double, kMaxPoints> b2;
#pragma omp simd
  for (std::size_t k = 0; k < p; ++k) {
    z[k] = node.zscale * rule.cos[k] - 1.0;
    b1[k] = 0.0;
    b2[k] = 0.0;
  }
  // Clenshaw's recurrence for H(z_k), all points at once.
  for (std::size_t c = degree; c >= 1; --c) {
    const double coefficient = coefficients[c];
#pragma omp simd
    for (std::size_t k = 0; k < p; ++k) {
      const double b0 = 2.0 * z[k] * b1[k] - b2[k] + coefficient;
      b2[k] = b1[k];
      b1[k] = b0;
    }
  }

  std::array<double, kMaxPoints> row_weight_n;
  std::array<double, kMaxPoints> row_weight_d;
  double numerator = 0.0;
  double denominator = 0.0;
  double numerator_dl = 0.0;
  double denominator_dl = 0.0;
  double numerator_sigma = 0.0, numerator_r = 0.0, numerator_q = 0.0;
  double denominator_sigma = 0.0, denominator_r = 0.0, denominator_q = 0.0;
#pragma omp simd reduction(+ : numerator, denominator, numerator_dl, denominator_dl,        \
                               numerator_sigma, numerator_r, numerator_q, denominator_sigma, \
                               denominator_r, denominator_q)
  for (std::size_t k = 0; k < p; ++k) {
    const double h = z[k] * b1[k] - b2[k] + coefficients[0];
    const double g = std::sqrt(std::max(h, 0.0));
    const double ell = g - node.g;
    const double sin = rule.sin[k];
    const double s = node.tau * sin * sin;
    const double w = sigma * node.sqrt_tau * sin;
    const double rho = (ell / s + drift) * inverse_variance;
    const double e_plus = w * (rho + 0.5);
    const double e_minus = w * (rho - 0.5);
    const double a = a_scale * rule.cos[k] * rule.weight[k];
    const double b = b_scale * sin * rule.cos[k] * rule.weight[k];
    const double density_minus = kInvSqrt2Pi * fast_exp(-r * s - 0.5 * e_minus * e_minus);
    const double density_plus = kInvSqrt2Pi * fast_exp(-q * s - 0.5 * e_plus * e_plus);
    const double cdf_plus = weighted_cdf(e_plus, fast_exp(-q * s), density_plus);
    const double n_term = a * density_minus;
    const double d_density = a * density_plus;
    numerator += n_term;
    denominator += b * cdf_plus + d_density;
    // ∂e±/∂ℓ = 1/w, ∂φ(e)/∂ℓ = −e·φ(e)/w, ∂Φ(e₊)/∂ℓ = φ(e₊)/w (and b/w = a).
    const double n_dl = -(rho - 0.5) * n_term;
    const double d_dl = (0.5 - rho) * d_density;
    numerator_dl += n_dl;
    denominator_dl += d_dl;
    if constexpr (kJacobian) {
      const double half_inverse_g = g > kTinyG ? 0.5 / g : 0.0;
      row_weight_n[k] = r * n_dl * half_inverse_g;
      row_weight_d[k] = q * d_dl * half_inverse_g;
    }
    if constexpr (kParameters) {
      // ∂e±/∂σ = −e∓/σ, ∂e±/∂r = √s/σ = −∂e±/∂q, and a ∝ 1/σ.
      const double ee = e_plus * e_minus - 1.0;
      const double root_s = s / w;
      const double b_density = b * density_plus;
      numerator_sigma += n_term * ee / sigma;
      numerator_r += -s * n_term - e_minus * n_term * root_s;
      numerator_q += e_minus * n_term * root_s;
      denominator_sigma += (-b_density * e_minus + d_density * ee) / sigma;
      denominator_r += b_density * root_s - e_plus * d_density * root_s;
      denominator_q +=
          -s * b * cdf_plus - b_density * root_s - s * d_density + e_plus * d_density * root_s;
    }
  }
  out.numerator = numerator;
  out.denominator = denominator;
  out.numerator_dl = numerator_dl;
  out.denominator_dl = denominator_dl;
  if constexpr (kParameters) {
    out.numerator_sigma = numerator_sigma;
    out.numerator_r = numerator_r;
    out.numerator_q = numerator_q;
    out.denominator_sigma = denominator_sigma;
    out.denominator_r = denominator_r;
    out.denominator_q = denominator_q;
  }
  if constexpr (kJacobian) {
    // Rows in the Chebyshev basis: Σ_k weight_k·T_c(z_k), with T_c by its recurrence.
    std::array<double, kMaxPoints> t_previous;
    std::array<double, kMaxPoints> t_current;
    double sum_n = 0.0;
    double sum_d = 0.0;
#pragma omp simd reduction(+ : sum_n, sum_d)
    for (std::size_t k = 0; k < p; ++k) {
      t_previous[k] = 1.0;
      t_current[k] = z[k];
      sum_n += row_weight_n[k];
      sum_d += row_weight_d[k];
    }
    out.numerator_row[0] = sum_n;
    out.denominator_row[0] = sum_d;
    for (std::size_t c = 1; c <= degree; ++c) {
      sum_n = 0.0;
      sum_d = 0.0;
      if (c == 1) {
#pragma omp simd reduction(+ : sum_n, sum_d)
        for (std::size_t k = 0; k < p; ++k) {
          sum_n += row_weight_n[k] * t_current[k];
          sum_d += row_weight_d[k] * t_current[k];
        }
      } else {
#pragma omp simd reduction(+ : sum_n, sum_d)
        for (std::size_t k = 0; k < p; ++k) {
          const double t_next = 2.0 * z[k] * t_current[k] - t_previous[k];
          t_previous[k] = t_current[k];
          t_current[k] = t_next;
          sum_n += row_weight_n[k] * t_next;
          sum_d += row_weight_d[k] * t_next;
        }
      }
      out.numerator_row[c] = sum_n;
      out.denominator_row[c] = sum_d;
    }
  }
}

// The terms of N and D outside the integrals, at one node, with their derivatives in
// L = ln(B(τ)/K) and, for the sensitivities, in σ, r and q.
struct NodeTerms {
  double n, d;      // e^{−rτ}φ(d₂)/v and e^{−qτ}(φ(d₁)/v + Φ(d₁)), v = σ√τ
  double n_l, d_l;  // ∂/∂L
  double n_sigma, d_sigma, n_r, d_r, n_q, d_q;
};

[[gnu::always_inline]] inline NodeTerms node_terms(const AmericanPut& put, double tau,
                                                   double sqrt_tau, double rate_discount,
                                                   double yield_discount, double log_moneyness) {
  const double sigma = put.sigma;
  const double v = sigma * sqrt_tau;
  const double d1 = (log_moneyness + (put.r - put.q) * tau) / v + 0.5 * v;
  const double d2 = d1 - v;
  const double phi1 = normal_density(d1);
  const double phi2 = normal_density(d2);
  const double cdf1 = normal_cdf_fast(d1);
  NodeTerms t;
  t.n = rate_discount * phi2 / v;
  t.d = yield_discount * (phi1 / v + cdf1);
  t.n_l = -rate_discount * d2 * phi2 / (v * v);
  t.d_l = yield_discount * (phi1 / v - d1 * phi1 / (v * v));
  const double ee = d1 * d2 - 1.0;
  t.n_sigma = rate_discount * phi2 / (v * sigma) * ee;
  t.d_sigma = yield_discount * (phi1 / (v * sigma) * ee - phi1 * d2 / sigma);
  t.n_r = -tau * t.n - rate_discount * d2 * phi2 * tau / (v * v);
  t.d_r = yield_discount * phi1 * (tau / v) * (1.0 - d1 / v);
  t.n_q = rate_discount * d2 * phi2 * tau / (v * v);
  t.d_q = -tau * t.d + yield_discount * phi1 * (tau / v) * (d1 / v - 1.0);
  return t;
}

}  // namespace

ExerciseBoundary::ExerciseBoundary(const AmericanPut& put, const FixedPointSettings& settings,
                                   bool sensitivities)
    : put_(put),
      degree_(settings.collocation_nodes),
      log_limit_(std::log(put.exercise_limit())),
      chebyshev_(ChebyshevInterpolation::of_degree(settings.collocation_nodes)) {
  const std::size_t n = degree_;
  for (std::size_t j = 0; j <= n; ++j) {
    const double x = 0.5 * (1.0 + chebyshev_.node(j));
    tau_[j] = put.maturity * x * x;
    sqrt_tau_[j] = std::sqrt(put.maturity) * x;
    rate_discount_[j] = std::exp(-put.r * tau_[j]);
    yield_discount_[j] = std::exp(-put.q * tau_[j]);
  }
  // The QD+ start.
  std::array<double, kMaxNodes> start;
  qd_plus_boundary(put, tau_.data() + 1, n, start.data());
  g_[0] = 0.0;
  for (std::size_t j = 1; j <= n; ++j) {
    g_[j] = std::max(log_limit_ - std::log(start[j - 1]), 0.0);
  }

  for (std::size_t iteration = 0; iteration < settings.iterations; ++iteration) {
    const std::size_t nodes = iteration == 0 && settings.iterations > 1
                                  ? settings.first_iteration_quadrature_nodes
                                  : settings.boundary_quadrature_nodes;
    evaluate(nodes, true, false);
    if (!system_.factorise(jacobian_.data(), n)) {
      break;
    }
    std::array<double, kMaxNodes> step;
    for (std::size_t j = 0; j < n; ++j) {
      step[j] = -residual_[j];
    }
    system_.solve(step.data());
    bool finite = true;
    for (std::size_t j = 0; j < n; ++j) {
      finite = finite && std::isfinite(step[j]);
    }
    if (!finite) {
      break;
    }
    for (std::size_t j = 1; j <= n; ++j) {
      const double next = g_[j] + step[j - 1];
      // G stays positive (B below X); a step through zero is cut to half the distance.
      g_[j] = next > 0.0 ? next : 0.5 * g_[j];
    }
  }
  if (sensitivities) {
    evaluate(settings.boundary_quadrature_nodes, true, true);
    factorised_ = system_.factorise(jacobian_.data(), n);
  } else {
    update_coefficients();
  }
}

double ExerciseBoundary::at_maturity() const {
  return std::exp(log_limit_ - g_[degree_]);
}

double ExerciseBoundary::coefficient_sensitivity(std::size_t k, std::size_t m) const {
  return chebyshev_.coefficient_weight(k, m) * 2.0 * g_[m];
}

void ExerciseBoundary::update_coefficients() {
  std::array<double, kMaxNodes + 1> h;
  for (std::size_t j = 0; j <= degree_; ++j) {
    h[j] = g_[j] * g_[j];
  }
  chebyshev_.coefficients(h.data(), coefficients_.data());
}

VYR_VECTOR_CLONES void ExerciseBoundary::evaluate(std::size_t quadrature_nodes, bool jacobian,
                                                  bool parameters) {
  const std::size_t n = degree_;
  update_coefficients();
  const TimeIntegrationRule& rule = boundary_rule(quadrature_nodes);
  const double log_strike = std::log(put_.strike);
  const double r = put_.r;
  const double q = put_.q;
  NodeIntegrals integrals;
  for (std::size_t j = 1; j <= n; ++j) {
    const NodeTerms t = node_terms(put_, tau_[j], sqrt_tau_[j], rate_discount_[j],
                                   yield_discount_[j], log_limit_ - g_[j] - log_strike);
    const NodeInputs node{tau_[j], sqrt_tau_[j], g_[j], 1.0 + chebyshev_.node(j)};
    if (parameters) {
      integrate_node<true, true>(put_, node, coefficients_.data(), n, rule, integrals);
    } else if (jacobian) {
      integrate_node<true, false>(put_, node, coefficients_.data(), n, rule, integrals);
    } else {
      integrate_node<false, false>(put_, node, coefficients_.data(), n, rule, integrals);
    }
    const double numerator = t.n + r * integrals.numerator;
    const double denominator = t.d + q * integrals.denominator;
    // F_j = ln(K·N/(B_j·D)) with ln B_j = ln X − G_j.
    residual_[j - 1] = std::log(numerator / denominator) + log_strike - log_limit_ + g_[j];
    if (jacobian) {
      double* row = jacobian_.data() + (j - 1) * n;
      std::array<double, kMaxNodes + 1> basis;
      for (std::size_t c = 0; c <= n; ++c) {
        basis[c] =
            integrals.numerator_row[c] / numerator - integrals.denominator_row[c] / denominator;
      }
      for (std::size_t m = 1; m <= n; ++m) {
        const double* column = chebyshev_.node_column(m);
        double sum = 0.0;
#pragma omp simd reduction(+ : sum)
        for (std::size_t c = 0; c <= n; ++c) {
          sum += basis[c] * column[c];
        }
        row[m - 1] = 2.0 * g_[m] * sum;
      }
      // G_j also enters through L = ln(B_j/K), through ℓ = G(u) − G_j and through −ln B_j.
      row[j - 1] += -(t.n_l + r * integrals.numerator_dl) / numerator +
                    (t.d_l + q * integrals.denominator_dl) / denominator + 1.0;
    }
    if (parameters) {
      const double n_sigma = t.n_sigma + r * integrals.numerator_sigma;
      const double d_sigma = t.d_sigma + q * integrals.denominator_sigma;
      const double n_r = t.n_r + integrals.numerator + r * integrals.numerator_r;
      const double d_r = t.d_r + q * integrals.denominator_r;
      const double n_q = t.n_q + r * integrals.numerator_q;
      const double d_q = t.d_q + integrals.denominator + q * integrals.denominator_q;
      parameter_derivatives_[0][j - 1] = n_sigma / numerator - d_sigma / denominator;
      parameter_derivatives_[1][j - 1] = n_r / numerator - d_r / denominator;
      parameter_derivatives_[2][j - 1] = n_q / numerator - d_q / denominator;
      parameter_derivatives_[3][j - 1] = t.n_l / numerator - t.d_l / denominator - 1.0;
    }
  }
}

ExerciseBoundary::EquationSensitivities ExerciseBoundary::adjoint(double* g) const {
  if (!factorised_) {
    const double nan = std::nan("");
    return {nan, nan, nan, nan};
  }
  system_.solve_transposed(g);
  EquationSensitivities out{0.0, 0.0, 0.0, 0.0};
  for (std::size_t j = 0; j < degree_; ++j) {
    out.sigma += g[j] * parameter_derivatives_[0][j];
    out.r += g[j] * parameter_derivatives_[1][j];
    out.q += g[j] * parameter_derivatives_[2][j];
    out.log_limit += g[j] * parameter_derivatives_[3][j];
  }
  return out;
}

}  // namespace vyr::fixed_point
