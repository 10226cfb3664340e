#include "methods/fixed_point/exercise_boundary.hpp"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "methods/fixed_point/normal_distribution.hpp"
#include "methods/fixed_point/qd_plus_boundary.hpp"
#include "methods/fixed_point/time_integration.hpp"
#include "methods/fixed_point/vector_lanes.hpp"

namespace vyr::fixed_point {
namespace {

constexpr std::size_t kMaxNodes = ExerciseBoundary::kMaxNodes;

// Iterations the step tolerance may add to the configured ones.
constexpr std::size_t kExtraIterations = 4;

// How far G may fall from one node to the next, relative, before a Newton step is rejected: the
// solution rises, but an iterate on the way to it, or one where the boundary has settled, may
// dip a little.
constexpr double kMonotoneSlack = 1e-2;

std::size_t nodes_for(const AmericanPut& put, const FixedPointSettings& settings) {
  return put.collocation(put.off_strike() ? settings.collocation_nodes_off_strike
                                          : settings.collocation_nodes);
}

// √(τ_j/T) = x_j^(k/2) at the nodes x_j = (1 + z_j)/2, j = 1..n (at index j − 1), for both
// interpolation exponents k; built on first use of each degree.
struct NodeTimes {
  std::array<std::once_flag, kMaxNodes + 1> built;
  std::array<std::array<double, kMaxNodes>, kMaxNodes + 1> at_strike;
  std::array<std::array<double, kMaxNodes>, kMaxNodes + 1> off_strike;
};

const double* root_node_times(std::size_t n, bool off_strike) {
  static NodeTimes times;
  std::call_once(times.built[n], [n] {
    const ChebyshevInterpolation& chebyshev = ChebyshevInterpolation::of_degree(n);
    for (std::size_t j = 1; j <= n; ++j) {
      const double x = 0.5 * (1.0 + chebyshev.node(j));
      times.at_strike[n][j - 1] = std::pow(x, 0.5 * kAtStrikeExponent);
      times.off_strike[n][j - 1] = std::pow(x, 0.5 * kOffStrikeExponent);
    }
  });
  return off_strike ? times.off_strike[n].data() : times.at_strike[n].data();
}

// A boundary value G(u) this small is treated as the fixed point G(0) = 0 when the Jacobian
// divides by it (∂G/∂H = 1/(2G)).
constexpr double kTinyG = 1e-150;

using NodeArray = std::array<double, kMaxNodes>;

}  // namespace

ExerciseBoundary::ExerciseBoundary(const AmericanPut& put, const FixedPointSettings& settings,
                                   bool sensitivities)
    : put_(put),
      degree_(nodes_for(put, settings)),
      lanes_(whole_lanes(degree_)),
      log_limit_(std::log(put.exercise_limit())),
      horizon_(put.boundary_horizon()),
      chebyshev_(ChebyshevInterpolation::of_degree(degree_)) {
  const std::size_t n = degree_;
  const double sqrt_t = std::sqrt(horizon_);
  // τ_j = T·x_j^k at x_j = (1 + z_j)/2; the extra lanes repeat node n.
  const double* root_times = root_node_times(n, put.off_strike());
  for (std::size_t i = 0; i < lanes_; ++i) {
    const std::size_t j = std::min(i + 1, n);
    const double root_x = root_times[j - 1];
    tau_[i] = horizon_ * root_x * root_x;
    sqrt_tau_[i] = sqrt_t * root_x;
    zscale_[i] = 1.0 + chebyshev_.node(j);
  }
  for (std::size_t i = 0; i < lanes_; ++i) {
    rate_discount_[i] = fast_exp(-put.r * tau_[i]);
    yield_discount_[i] = fast_exp(-put.q * tau_[i]);
  }
  // The QD+ start.
  qd_plus_boundary(put, tau_.data(), n, g_.data());
  for (std::size_t i = n; i < lanes_; ++i) {
    g_[i] = g_[n - 1];
  }

  // The configured iterations, then up to kExtraIterations more while the last step moved the
  // boundary by more than the step tolerance, relative to its largest distance from X.
  std::size_t planned = settings.iterations;
  for (std::size_t iteration = 0; iteration < planned; ++iteration) {
    const std::size_t nodes =
        iteration == 0 && settings.iterations > 1
            ? put.boundary_quadrature(settings.first_iteration_quadrature_nodes)
            : put.boundary_quadrature(settings.boundary_quadrature_nodes);
    evaluate(nodes, false);
    if (!system_.factorise(jacobian_transposed_.data(), n)) {
      break;
    }
    NodeArray step;
    for (std::size_t j = 0; j < n; ++j) {
      step[j] = -residual_[j];
    }
    system_.solve_transposed(step.data());
    bool finite = true;
    double largest_step = 0.0;
    double largest_g = 0.0;
    for (std::size_t j = 0; j < n; ++j) {
      finite = finite && std::isfinite(step[j]);
      largest_step = std::max(largest_step, std::fabs(step[j]));
      largest_g = std::max(largest_g, g_[j]);
    }
    if (!finite) {
      break;
    }
    // The boundary falls with the time to maturity, so G rises from node to node. A step that
    // breaks this has left the basin of the solution (which rounding at the shortest times of
    // many nodes can cause); it is halved, and after three halvings the iterations stop.
    NodeArray next;
    bool accepted = false;
    for (int halving = 0; halving < 4 && !accepted; ++halving) {
      accepted = true;
      for (std::size_t j = 0; j < n; ++j) {
        const double candidate = g_[j] + step[j];
        // G stays positive (B below X); a step through zero is cut to half the distance.
        next[j] = candidate > 0.0 ? candidate : 0.5 * g_[j];
        if (j > 0 && next[j] < next[j - 1] * (1.0 - kMonotoneSlack)) {
          accepted = false;
        }
      }
      for (std::size_t j = 0; j < n; ++j) {
        step[j] *= 0.5;
      }
    }
    if (!accepted) {
      break;
    }
    for (std::size_t j = 0; j < n; ++j) {
      g_[j] = next[j];
    }
    for (std::size_t i = n; i < lanes_; ++i) {
      g_[i] = g_[n - 1];
    }
    if (iteration + 1 == planned && planned < settings.iterations + kExtraIterations &&
        largest_step > settings.step_tolerance * largest_g) {
      ++planned;
    }
  }
  if (sensitivities) {
    evaluate(put.boundary_quadrature(settings.boundary_quadrature_nodes), true);
    factorised_ = system_.factorise(jacobian_transposed_.data(), n);
  } else {
    update_coefficients();
  }
}

double ExerciseBoundary::at_maturity() const {
  return std::exp(log_limit_ - g_[degree_ - 1]);
}

double ExerciseBoundary::coefficient_sensitivity(std::size_t k, std::size_t m) const {
  return chebyshev_.coefficient_weight(k, m) * 2.0 * g_[m - 1];
}

void ExerciseBoundary::update_coefficients() {
  std::array<double, kMaxNodes + 1> h;
  h[0] = 0.0;
  for (std::size_t j = 1; j <= degree_; ++j) {
    h[j] = g_[j - 1] * g_[j - 1];
  }
  chebyshev_.coefficients(h.data(), coefficients_.data());
}

namespace {

// What one evaluation of the collocation equations shares between its groups of four nodes.
struct EquationInputs {
  const AmericanPut* put;
  std::size_t degree;
  std::size_t stride;  // lanes / width of Lanes
  const double* coefficients;
  const TimeIntegrationRule* rule;
  const double* interpolation_cos;  // (cosθ_k)^(2/k)
  double log_moneyness_base;        // ln(X/K)
};

// Per group of nodes (a Lanes of them): the node data and what the evaluation produces for it.
template <class Lanes>
struct NodeGroup {
  Lanes zscale, tau, sqrt_tau, g, rate_discount, yield_discount;
  // Out: N and D, the derivative of ln(N/D) in G_j through L = ln(B_j/K), ℓ and −ln B_j (the
  // diagonal of the Jacobian apart from the interpolation), and the derivatives of ln(N/D) in
  // σ, r, q and ln X.
  Lanes n_total, d_total, direct, d_sigma, d_r, d_q, d_log_limit;
};

// A Lanes of collocation nodes at a time. With ℓ = ln(B(τ)/B(u)) = G(u) − G(τ),
// s = τ − u = τ·sin²θ, w = σ√s, ρ = (ℓ/s + r − q)/σ² and e± = d±(s, e^ℓ) = w·(ρ ± ½), the
// integrals are
//   N: Σ a·e^{−rs}φ(e₋),  D: Σ b·e^{−qs}Φ(e₊) + a·e^{−qs}φ(e₊)
// with a = 2√τ·cosθ·w_k/σ (for ∫ f/(σ√s) du) and b = 2τ·sinθ·cosθ·w_k (for ∫ f du). Without a
// yield (q = 0) the D integral does not enter the equations and is skipped. `basis` receives the
// Jacobian rows in the Chebyshev basis, Σ_k (r·∂N_k/∂ℓ/N − q·∂D_k/∂ℓ/D)·T_c(z_k)/(2G(u_k)), row
// c at c·stride.
template <class Lanes, bool kYield, bool kParameters>
[[gnu::always_inline]] inline void integrate_group(const EquationInputs& in, NodeGroup<Lanes>& x,
                                                   Lanes* basis) {
  const AmericanPut& put = *in.put;
  const std::size_t n = in.degree;
  const TimeIntegrationRule& rule = *in.rule;
  const double sigma = put.sigma;
  const double r = put.r;
  const double q = put.q;
  const double drift = r - q;
  const double inverse_variance = 1.0 / (sigma * sigma);
  const Lanes inverse_tau = 1.0 / x.tau;
  const Lanes vol = sigma * x.sqrt_tau;
  const Lanes a_scale = x.sqrt_tau * (2.0 / sigma);
  const Lanes b_scale = 2.0 * x.tau;

  // H at u = τ_j·cos²θ_k for every k first (independent recurrences that overlap), where
  // x = (u/T)^(1/k) = x_j·(cosθ_k)^(2/k) and z = 2x − 1 = (1 + z_j)·(cosθ_k)^(2/k) − 1.
  std::array<Lanes, FixedPointSettings::kMaxQuadratureNodes> z_at, h_at, weight_n, weight_d;
  for (std::size_t k = 0; k < rule.size; ++k) {
    z_at[k] = x.zscale * in.interpolation_cos[k] - 1.0;
    h_at[k] = chebyshev_sum(in.coefficients, n, z_at[k]);
  }
  Lanes sum_n{}, sum_d{}, sum_n_dl{}, sum_d_dl{};
  Lanes sum_n_sigma{}, sum_n_r{}, sum_n_q{}, sum_d_sigma{}, sum_d_r{}, sum_d_q{};
  for (std::size_t k = 0; k < rule.size; ++k) {
    const double sin = rule.sin[k];
    const Lanes g = lane_sqrt(lane_max(h_at[k], Lanes{}));
    const Lanes ell = g - x.g;
    const Lanes s = x.tau * (sin * sin);
    const Lanes w = vol * sin;
    const Lanes rho = (ell * inverse_tau * rule.inverse_sin_squared[k] + drift) * inverse_variance;
    const Lanes e_plus = w * (rho + 0.5);
    const Lanes e_minus = w * (rho - 0.5);
    const Lanes a = a_scale * rule.root_weight[k];
    const Lanes density_minus = kInvSqrt2Pi * fast_exp(-r * s - 0.5 * e_minus * e_minus);
    const Lanes n_term = a * density_minus;
    sum_n += n_term;
    // ∂e±/∂ℓ = 1/w, ∂φ(e)/∂ℓ = −e·φ(e)/w, ∂Φ(e₊)/∂ℓ = φ(e₊)/w (and b/w = a).
    const Lanes n_dl = (0.5 - rho) * n_term;
    sum_n_dl += n_dl;
    const Lanes half_inverse_g = g > kTinyG ? 0.5 / g : Lanes{};
    weight_n[k] = (r * half_inverse_g) * n_dl;
    if constexpr (kYield) {
      const Lanes b = b_scale * rule.plain_weight[k];
      const Lanes density_plus = kInvSqrt2Pi * fast_exp(-q * s - 0.5 * e_plus * e_plus);
      const Lanes cdf_plus = weighted_cdf(e_plus, fast_exp(-q * s), density_plus);
      const Lanes d_density = a * density_plus;
      sum_d += b * cdf_plus + d_density;
      const Lanes d_dl = (0.5 - rho) * d_density;
      sum_d_dl += d_dl;
      weight_d[k] = (q * half_inverse_g) * d_dl;
      if constexpr (kParameters) {
        // ∂e±/∂σ = −e∓/σ, ∂e±/∂r = √s/σ = −∂e±/∂q, and a ∝ 1/σ.
        const Lanes ee = e_plus * e_minus - 1.0;
        const Lanes root_s = s / w;
        const Lanes b_density = b * density_plus;
        sum_n_sigma += n_term * ee / sigma;
        sum_n_r += -s * n_term - e_minus * n_term * root_s;
        sum_n_q += e_minus * n_term * root_s;
        sum_d_sigma += (-b_density * e_minus + d_density * ee) / sigma;
        sum_d_r += b_density * root_s - e_plus * d_density * root_s;
        sum_d_q +=
            -s * b * cdf_plus - b_density * root_s - s * d_density + e_plus * d_density * root_s;
      }
    }
  }

  // The terms outside the integrals, in L = ln(B_j/K): e^{−rτ}φ(d₂)/v and
  // e^{−qτ}(φ(d₁)/v + Φ(d₁)) with v = σ√τ.
  const Lanes v = vol;
  const Lanes log_moneyness = in.log_moneyness_base - x.g;
  const Lanes d1 = (log_moneyness + drift * x.tau) / v + 0.5 * v;
  const Lanes d2 = d1 - v;
  const Lanes phi1 = normal_density(d1);
  const Lanes phi2 = normal_density(d2);
  const Lanes dr = x.rate_discount;
  const Lanes dq = x.yield_discount;
  const Lanes first_n = dr * phi2 / v;
  const Lanes first_d = dq * (phi1 / v + weighted_cdf(d1, Lanes{} + 1.0, phi1));
  const Lanes first_n_l = -dr * d2 * phi2 / (v * v);
  const Lanes first_d_l = dq * (phi1 / v - d1 * phi1 / (v * v));
  x.n_total = first_n + r * sum_n;
  x.d_total = first_d + q * sum_d;
  const Lanes inverse_n = 1.0 / x.n_total;
  const Lanes inverse_d = 1.0 / x.d_total;
  // G_j enters through L, through ℓ = G(u) − G_j and through −ln B_j = G_j − ln X.
  x.direct = -(first_n_l + r * sum_n_dl) * inverse_n + (first_d_l + q * sum_d_dl) * inverse_d + 1.0;
  if constexpr (kParameters) {
    const Lanes ee = d1 * d2 - 1.0;
    const Lanes tau = x.tau;
    const Lanes n_sigma = dr * phi2 / (v * sigma) * ee + r * sum_n_sigma;
    const Lanes d_sigma = dq * (phi1 / (v * sigma) * ee - phi1 * d2 / sigma) + q * sum_d_sigma;
    const Lanes n_r = -tau * first_n - dr * d2 * phi2 * tau / (v * v) + sum_n + r * sum_n_r;
    const Lanes d_r = dq * phi1 * (tau / v) * (1.0 - d1 / v) + q * sum_d_r;
    const Lanes n_q = dr * d2 * phi2 * tau / (v * v) + r * sum_n_q;
    const Lanes d_q = -tau * first_d + dq * phi1 * (tau / v) * (d1 / v - 1.0) + sum_d + q * sum_d_q;
    x.d_sigma = n_sigma * inverse_n - d_sigma * inverse_d;
    x.d_r = n_r * inverse_n - d_r * inverse_d;
    x.d_q = n_q * inverse_n - d_q * inverse_d;
    x.d_log_limit = first_n_l * inverse_n - first_d_l * inverse_d - 1.0;
  }

  // Jacobian rows: weight·T_c(z), T_c by its recurrence.
  const std::size_t stride = in.stride;
  for (std::size_t c = 0; c <= n; ++c) {
    basis[c * stride] = Lanes{};
  }
  for (std::size_t k = 0; k < rule.size; ++k) {
    const Lanes z = z_at[k];
    const Lanes two_z = z + z;
    Lanes weight = weight_n[k] * inverse_n;
    if constexpr (kYield) {
      weight -= weight_d[k] * inverse_d;
    }
    Lanes t_previous = Lanes{} + 1.0;
    Lanes t_current = z;
    basis[0] += weight;
    basis[stride] += weight * z;
    for (std::size_t c = 2; c <= n; ++c) {
      const Lanes t_next = two_z * t_current - t_previous;
      t_previous = t_current;
      t_current = t_next;
      basis[c * stride] += weight * t_next;
    }
  }
}

}  // namespace

template <class Lanes>
[[gnu::always_inline]] inline void ExerciseBoundary::evaluate_lanes(std::size_t quadrature_nodes,
                                                                    bool parameters) {
  constexpr std::size_t kLaneCount = kWidth<Lanes>;
  const std::size_t n = degree_;
  const std::size_t lanes = lanes_;
  update_coefficients();
  const TimeIntegrationRule& rule = boundary_rule(quadrature_nodes);
  const double log_strike = std::log(put_.strike);
  const std::size_t stride = lanes / kLaneCount;
  const EquationInputs in{&put_,
                          n,
                          stride,
                          coefficients_.data(),
                          &rule,
                          put_.off_strike() ? rule.cos : rule.cos_power,
                          log_limit_ - log_strike};
  // The Jacobian rows in the Chebyshev basis: the Lanes of nodes from j of row c at
  // c·stride + j/width.
  std::array<Lanes, (kMaxNodes + 1) * kMaxNodes / kLaneCount> basis;
  NodeArray direct;
  const double limit_over_strike = std::exp(log_limit_ - log_strike);
  for (std::size_t quad = 0; quad < lanes; quad += kLaneCount) {
    NodeGroup<Lanes> x;
    x.zscale = load_lanes<Lanes>(zscale_.data() + quad);
    x.tau = load_lanes<Lanes>(tau_.data() + quad);
    x.sqrt_tau = load_lanes<Lanes>(sqrt_tau_.data() + quad);
    x.g = load_lanes<Lanes>(g_.data() + quad);
    x.rate_discount = load_lanes<Lanes>(rate_discount_.data() + quad);
    x.yield_discount = load_lanes<Lanes>(yield_discount_.data() + quad);
    Lanes* rows = basis.data() + quad / kLaneCount;
    if (parameters) {
      integrate_group<Lanes, true, true>(in, x, rows);
      store_lanes(parameter_derivatives_[0].data() + quad, x.d_sigma);
      store_lanes(parameter_derivatives_[1].data() + quad, x.d_r);
      store_lanes(parameter_derivatives_[2].data() + quad, x.d_q);
      store_lanes(parameter_derivatives_[3].data() + quad, x.d_log_limit);
    } else if (put_.q != 0.0) {
      integrate_group<Lanes, true, false>(in, x, rows);
    } else {
      integrate_group<Lanes, false, false>(in, x, rows);
    }
    store_lanes(direct.data() + quad, x.direct);
    // The equations K·N_j/(B_j·D_j) = 1, as F_j = 1 − (B_j/K)·D_j/N_j with B_j = X·e^{−G_j}:
    // the same root as ln(K·N_j/(B_j·D_j)) and, there, the same derivatives, without a
    // logarithm.
    store_lanes(residual_.data() + quad,
                1.0 - limit_over_strike * fast_exp(-x.g) * x.d_total / x.n_total);
  }

  // ∂F_j/∂G_m = Σ_c basis(c, j)·∂c_c/∂G_m, plus the direct term.
  for (std::size_t m = 1; m <= n; ++m) {
    const double* column = chebyshev_.node_column(m);
    const double scale = 2.0 * g_[m - 1];
    double* out = jacobian_transposed_.data() + (m - 1) * n;
    for (std::size_t quad = 0; quad < lanes; quad += kLaneCount) {
      Lanes sum{};
      for (std::size_t c = 0; c <= n; ++c) {
        sum += basis[c * stride + quad / kLaneCount] * column[c];
      }
      sum *= scale;
      const std::size_t count = std::min(kLaneCount, n - quad);
      for (std::size_t i = 0; i < count; ++i) {
        out[quad + i] = sum[i];
      }
    }
    out[m - 1] += direct[m - 1];
  }
}

void ExerciseBoundary::evaluate(std::size_t quadrature_nodes, bool parameters) {
  if (wide_lanes()) {
    evaluate_wide(quadrature_nodes, parameters);
  } else {
    evaluate_narrow(quadrature_nodes, parameters);
  }
}

VYR_WIDE_LANES void ExerciseBoundary::evaluate_wide(std::size_t quadrature_nodes, bool parameters) {
  evaluate_lanes<Lanes4>(quadrature_nodes, parameters);
}

void ExerciseBoundary::evaluate_narrow(std::size_t quadrature_nodes, bool parameters) {
  evaluate_lanes<Lanes2>(quadrature_nodes, parameters);
}

ExerciseBoundary::EquationSensitivities ExerciseBoundary::adjoint(double* g) const {
  if (!factorised_) {
    const double nan = std::nan("");
    return {nan, nan, nan, nan};
  }
  system_.solve(g);
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
