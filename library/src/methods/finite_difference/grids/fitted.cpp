#include "methods/finite_difference/grids/fitted.hpp"

#include <algorithm>

namespace vyr {

Grid build_fitted_grid(const CoordinateTransform& transform, std::span<const double> spots,
                       std::span<double> storage) {
  Grid grid(GridKind::Fitted, transform, spots.size(), storage);
  std::copy(spots.begin(), spots.end(), grid.s_.begin());
  grid.fit_to_spots();
  return grid;
}

Grid shift(const Grid& grid, double amount, std::span<double> storage) {
  const std::span<const double> spots = grid.spots();
  Grid shifted(GridKind::Fitted, grid.transform(), spots.size(), storage);
  for (std::size_t i = 0; i < spots.size(); ++i) {
    shifted.s_[i] = spots[i] + amount;
  }
  shifted.fit_to_spots();
  return shifted;
}

}  // namespace vyr
