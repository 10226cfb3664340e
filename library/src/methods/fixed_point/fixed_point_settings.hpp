// The discretisation of the fixed-point American pricer: how many collocation nodes carry the
// exercise boundary, how many Newton iterations solve for it, and how many quadrature nodes the
// integrals use.
#pragma once

#include <cstddef>

namespace vyr {

struct FixedPointSettings {
  // Compile-time capacities: the pricer works in fixed-size buffers of these sizes.
  static constexpr std::size_t kMaxCollocationNodes = 48;
  static constexpr std::size_t kMaxQuadratureNodes = 128;
  static constexpr std::size_t kMaxIterations = 16;

  // Boundary nodes with τ > 0 (the node at τ = 0 is fixed): the degree of the Chebyshev
  // interpolant of the boundary, when the boundary starts at the strike at expiry (puts with
  // q <= r, calls with r <= q).
  std::size_t collocation_nodes = 8;
  // The same when it starts off the strike, at K·r/q for a put with q > r (K·r/q above the
  // strike for a call with r > q): the boundary then turns in a layer where exercise starts to
  // pay for its time value, which needs more nodes.
  std::size_t collocation_nodes_off_strike = 12;
  // Newton iterations on the collocation equations, starting from the QD+ boundary. Zero prices
  // with the QD+ boundary itself.
  std::size_t iterations = 2;
  // Up to four more iterations follow while the last one moved the boundary (in ln B) by more
  // than this fraction of its largest distance ln(X/B) from its start: where the QD+ start or the
  // coarse first iteration was poor (very low volatility, rates high against volatility over
  // long maturities). Zero always adds the four.
  double step_tolerance = 3e-3;
  // Gauss–Legendre nodes per collocation node in the first iteration, which only has to bring
  // the QD+ start into the basin of fast convergence.
  std::size_t first_iteration_quadrature_nodes = 4;
  // Gauss–Legendre nodes per collocation node in the later iterations.
  std::size_t boundary_quadrature_nodes = 10;
  // Gauss–Legendre nodes of the early-exercise premium integral (and of its derivatives).
  std::size_t premium_quadrature_nodes = 24;

  // About 1e-10 on prices of order 10, at several times the cost of the defaults.
  static FixedPointSettings high_accuracy();

  // Throws ValueError naming the first setting outside its range: both collocation counts in
  // [2, 48], iterations in [0, 16], the step tolerance finite and not negative, every
  // quadrature count in [1, 128].
  void validate() const;
};

}  // namespace vyr
