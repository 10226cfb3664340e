// What a boundary condition of the engine provides. A condition is data: it writes the edge rows
// of the operator (the rows the product uses for the operator image, and the rows of the system
// an implicit solve inverts), and it gives the right-hand side of those system rows for each
// stage. The factorisation reads the coefficients it wrote, so a new condition is one type that
// satisfies this concept.
#pragma once

#include <concepts>
#include <span>

#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/grid.hpp"
#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"

namespace vyr {

template <typename Condition>
concept BoundaryCondition = requires(const Condition& condition, const Grid& grid,
                                     const FdmProcess& process, TridiagonalOperator& op,
                                     std::span<const double> values, std::span<const double> image,
                                     double tau) {
  // Rows 0 and N−1 of the product and of the system, for an operator just built on `grid`.
  { condition.write_edge_rows(grid, process, op) } -> std::same_as<void>;
  // Rows 0 and N−1 of the right-hand side of a stage that ends at time to expiry τ, given the
  // values and their operator image at the start of its step.
  { condition.lower_value(grid, values, image, tau) } -> std::same_as<double>;
  { condition.upper_value(grid, values, image, tau) } -> std::same_as<double>;
};

}  // namespace vyr
