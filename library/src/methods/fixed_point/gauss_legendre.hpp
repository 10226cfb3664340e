// Gauss–Legendre quadrature on [−1, 1]: the n-point rule integrates polynomials of degree up to
// 2n − 1 exactly.
#pragma once

#include <cstddef>
#include <span>

namespace vyr::fixed_point {

// Writes the n nodes (ascending) and weights of the rule; both spans must hold n values.
// Newton's method on the Legendre polynomial from Tricomi's estimates; nodes are exactly
// symmetric.
void gauss_legendre(std::size_t n, std::span<double> nodes, std::span<double> weights);

}  // namespace vyr::fixed_point
