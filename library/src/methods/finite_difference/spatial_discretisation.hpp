// The grid of a march with its operator and boundary condition, rebuilt together when a dividend
// shifts the grid.
#pragma once

#include <span>

#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/grid.hpp"
#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"

namespace vyr {

class SpatialDiscretisation {
 public:
  // `grid` lives in `grid_storage`; `spare_grid_storage` (of the same size) receives the next
  // grid at a shift and the two then trade places. Builds the operator in `operator_storage`
  // and sets its boundary rows. Panics "TridiagonalOperator requires at least 3 elements,
  // found N" for fewer than 3 nodes.
  SpatialDiscretisation(const Grid& grid, std::span<double> grid_storage,
                        std::span<double> spare_grid_storage, const FdmProcess& process,
                        const NeumannStandard& boundary, std::span<double> operator_storage);

  const Grid& grid() const { return grid_; }
  TridiagonalOperator& op() { return op_; }
  const TridiagonalOperator& op() const { return op_; }
  const NeumannStandard& boundary() const { return boundary_; }
  std::size_t size() const { return grid_.size(); }

  // Replaces the grid by the fitted grid with spot values S + amount and builds a new operator
  // on it with the same process and boundary rows, in the same storage.
  void shift(double amount);

 private:
  Grid grid_;
  std::span<double> grid_storage_;
  std::span<double> spare_grid_storage_;
  FdmProcess process_;
  NeumannStandard boundary_;
  std::span<double> operator_storage_;
  TridiagonalOperator op_;
};

}  // namespace vyr
