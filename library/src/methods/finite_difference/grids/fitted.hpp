// Grids fitted to an explicit list of spot values, and the shift of a grid by a cash dividend.
#pragma once

#include <span>

#include "methods/finite_difference/grids/grid.hpp"
#include "methods/finite_difference/transform.hpp"

namespace vyr {

// Nodes x̃ᵢ = to_x(S̃ᵢ); the spot values stay exactly the given ones. `storage` holds
// Grid::storage_size(spots.size()) doubles and must not overlap `spots`.
Grid build_fitted_grid(const CoordinateTransform& transform, std::span<const double> spots,
                       std::span<double> storage);

// The fitted grid whose spot values are those of `grid` plus `amount`, with the same transform.
// `storage` must not overlap the storage of `grid`.
Grid shift(const Grid& grid, double amount, std::span<double> storage);

}  // namespace vyr
