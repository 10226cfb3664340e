// The Black–Scholes generator L V = (r − q)·S·∂V/∂S + (σ²/2)·S²·∂²V/∂S² − r·V written in the grid
// coordinate x and discretised with three-point stencils on the grid's (possibly non-uniform)
// spacing.
#pragma once

#include <span>

#include "methods/finite_difference/grids/grid.hpp"
#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"

namespace vyr {

struct FdmProcess {
  double r;
  double q;
  double sigma;

  // The operator on `grid` with the interior rows filled and both boundary rows zero, over
  // `storage` of TridiagonalOperator::storage_size(N) doubles. Interior rows are the central
  // three-point stencils, except where the drift dominates the diffusion over a cell (the
  // central row would give a neighbour a negative weight): there the first difference follows
  // the drift, and no neighbour's weight is negative. Rows whose coefficients would overflow (S²
  // beyond the largest double on very wide grids) are formed from the transform's ratios. Panics
  // "TridiagonalOperator requires at least 3 elements, found N" for fewer than 3 nodes.
  TridiagonalOperator build_operator(const Grid& grid, std::span<double> storage) const;
};

}  // namespace vyr
