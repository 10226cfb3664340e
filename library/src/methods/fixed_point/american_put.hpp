// The option the fixed-point method prices: an American put under Black–Scholes with a continuous
// yield, one exercise boundary. Calls reach it through the put–call symmetry.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "methods/fixed_point/fixed_point_settings.hpp"

namespace vyr::fixed_point {

struct AmericanPut {
  double strike;    // K > 0
  double maturity;  // T > 0, years
  double sigma;     // > 0
  double r;         // > 0, or 0 with q < 0
  double q;

  // X = lim B(τ) as τ → 0: the strike, or K·r/q when the yield exceeds the rate (the boundary
  // then starts where holding the strike in cash earns as much as the stock pays).
  double exercise_limit() const { return off_strike() ? strike * (r / q) : strike; }
  bool off_strike() const { return q > r; }

  // B∞ = K·λ/(λ − 1), λ = (1 − β − √((β − 1)² + 4α))/2 with α = 2r/σ², β = 2(r − q)/σ²: the
  // boundary of the perpetual put, below the boundary at every finite maturity (the exercise
  // region shrinks as the maturity grows). 0 when exercise never pays forever (r = 0, β <= 1).
  // Beyond this time to maturity the boundary is the perpetual one to about 1e-13: its distance
  // to B∞ decays at least like e^{−γτ}, γ = r + (r − q − σ²/2)²/(2σ²), the bottom of the
  // spectrum of the Black–Scholes operator in ln S. The boundary is solved for on
  // [0, min(T, horizon)] and held there beyond.
  double boundary_horizon() const {
    constexpr double kSettledDecays = 30.0;
    const double drift = r - q - 0.5 * sigma * sigma;
    const double gamma = r + drift * drift / (2.0 * sigma * sigma);
    return gamma * maturity > kSettledDecays ? kSettledDecays / gamma : maturity;
  }

  // Node counts for this option: at least `nodes`, more where the boundary or the integrands
  // develop thin layers. Over a horizon of γ·H relaxation times the boundary does all its
  // turning in the first 1/(γH) of the horizon, which the interpolation resolves with about
  // (γH)^(1/4) times the nodes and the boundary integrals, in an angle where the layer's width
  // shrinks like 1/√(γH), with √(γH) times the quadrature; the premium integrand turns over
  // where the drift overtakes the spot's distance to the boundary, across a width of about
  // σ/(|r − q|·√T) of the maturity. Capped at the capacities.
  std::size_t collocation(std::size_t nodes) const {
    return scaled(nodes, std::sqrt(std::sqrt(relaxations() / 4.0)),
                  FixedPointSettings::kMaxCollocationNodes);
  }
  std::size_t boundary_quadrature(std::size_t nodes) const {
    return scaled(nodes, std::sqrt(relaxations() / 6.0), FixedPointSettings::kMaxQuadratureNodes);
  }
  std::size_t premium_quadrature(std::size_t nodes) const {
    return scaled(nodes, std::fabs(r - q) * std::sqrt(maturity) / (4.0 * sigma),
                  FixedPointSettings::kMaxQuadratureNodes);
  }

  // γ·H: how many relaxation times of the boundary its horizon spans.
  double relaxations() const {
    const double drift = r - q - 0.5 * sigma * sigma;
    const double gamma = r + drift * drift / (2.0 * sigma * sigma);
    return gamma * boundary_horizon();
  }

  double perpetual_boundary() const {
    const double s2 = sigma * sigma;
    const double beta_minus_1 = 2.0 * (r - q) / s2 - 1.0;
    const double lambda =
        0.5 * (-beta_minus_1 - std::sqrt(beta_minus_1 * beta_minus_1 + 8.0 * r / s2));
    return std::max(strike * lambda / (lambda - 1.0), 0.0);
  }

 private:
  static std::size_t scaled(std::size_t nodes, double factor, std::size_t capacity) {
    const double wanted = std::ceil(static_cast<double>(nodes) * factor);
    if (!(wanted > static_cast<double>(nodes))) {
      return nodes;
    }
    return wanted < static_cast<double>(capacity) ? static_cast<std::size_t>(wanted) : capacity;
  }
};

// The exercise boundary is interpolated in x = (τ/T)^(1/k). When it starts at the strike,
// G = ln(K/B) grows like √(τ·ln(1/τ)) near expiry, and k = 3.5 makes H = G² ~ x^3.5·ln(1/x)
// smooth enough for few nodes; when it starts below, G grows like √τ and k = 2 is best.
inline constexpr double kAtStrikeExponent = 3.5;
inline constexpr double kOffStrikeExponent = 2.0;

}  // namespace vyr::fixed_point
