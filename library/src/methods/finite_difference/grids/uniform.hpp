// Grids uniform in the transformed coordinate.
#pragma once

#include <cstddef>
#include <span>

#include "methods/finite_difference/grids/grid.hpp"
#include "methods/finite_difference/transform.hpp"

namespace vyr {

// Node i is x_min + i·Δx with Δx = (x_max − x_min)/(N − 1), each node computed from its index;
// the spot values are to_s of the nodes. `storage` holds Grid::storage_size(nodes) doubles.
Grid build_uniform_grid(const CoordinateTransform& transform, double x_min, double x_max,
                        std::size_t nodes, std::span<double> storage);

}  // namespace vyr
