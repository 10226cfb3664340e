// The grid of a march with its operator and boundary condition, rebuilt together when a dividend
// shifts the grid.
#pragma once

#include <span>
#include <utility>

#include "methods/finite_difference/boundary_conditions/boundary_condition.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/fitted.hpp"
#include "methods/finite_difference/grids/grid.hpp"
#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"

namespace vyr {

template <BoundaryCondition Condition>
class SpatialDiscretisation {
 public:
  // `grid` lives in `grid_storage`; `spare_grid_storage` (of the same size) receives the next
  // grid at a shift and the two then trade places. Builds the operator in `operator_storage`
  // and lets the condition write its edge rows. Panics "TridiagonalOperator requires at least 3
  // elements, found N" for fewer than 3 nodes.
  SpatialDiscretisation(const Grid& grid, std::span<double> grid_storage,
                        std::span<double> spare_grid_storage, const FdmProcess& process,
                        const Condition& boundary, std::span<double> operator_storage)
      : grid_(grid),
        grid_storage_(grid_storage),
        spare_grid_storage_(spare_grid_storage),
        process_(process),
        boundary_(boundary),
        operator_storage_(operator_storage),
        op_(process.build_operator(grid, operator_storage)) {
    boundary_.write_edge_rows(grid_, process_, op_);
  }

  const Grid& grid() const { return grid_; }
  TridiagonalOperator& op() { return op_; }
  const TridiagonalOperator& op() const { return op_; }
  const Condition& boundary() const { return boundary_; }
  const FdmProcess& process() const { return process_; }
  std::size_t size() const { return grid_.size(); }

  // Replaces the grid by the fitted grid with spot values S + amount and builds a new operator
  // on it with the same process and boundary condition, in the same storage.
  void shift(double amount) {
    grid_ = vyr::shift(grid_, amount, spare_grid_storage_);
    std::swap(grid_storage_, spare_grid_storage_);
    op_ = process_.build_operator(grid_, operator_storage_);
    boundary_.write_edge_rows(grid_, process_, op_);
  }

 private:
  Grid grid_;
  std::span<double> grid_storage_;
  std::span<double> spare_grid_storage_;
  FdmProcess process_;
  Condition boundary_;
  std::span<double> operator_storage_;
  TridiagonalOperator op_;
};

}  // namespace vyr
