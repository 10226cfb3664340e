#include "methods/finite_difference/spatial_discretisation.hpp"

#include <utility>

#include "methods/finite_difference/grids/fitted.hpp"

namespace vyr {

SpatialDiscretisation::SpatialDiscretisation(const Grid& grid, std::span<double> grid_storage,
                                             std::span<double> spare_grid_storage,
                                             const FdmProcess& process,
                                             const NeumannStandard& boundary,
                                             std::span<double> operator_storage)
    : grid_(grid),
      grid_storage_(grid_storage),
      spare_grid_storage_(spare_grid_storage),
      process_(process),
      boundary_(boundary),
      operator_storage_(operator_storage),
      op_(process.build_operator(grid, operator_storage)) {
  boundary_.set_rows(op_);
}

void SpatialDiscretisation::shift(double amount) {
  grid_ = vyr::shift(grid_, amount, spare_grid_storage_);
  std::swap(grid_storage_, spare_grid_storage_);
  op_ = process_.build_operator(grid_, operator_storage_);
  boundary_.set_rows(op_);
}

}  // namespace vyr
