#include "methods/finite_difference/grids/uniform.hpp"

namespace vyr {

Grid build_uniform_grid(const CoordinateTransform& transform, double x_min, double x_max,
                        std::size_t nodes, std::span<double> storage) {
  Grid grid(GridKind::Uniform, transform, nodes, storage);
  const double dx = (x_max - x_min) / static_cast<double>(nodes - 1);
  for (std::size_t i = 0; i < nodes; ++i) {
    const double x = x_min + static_cast<double>(i) * dx;
    const TransformPoint point = transform.at(x);
    grid.x_[i] = x;
    grid.s_[i] = point.s;
    grid.ds_dx_[i] = point.ds_dx;
    grid.d2s_dx2_[i] = point.d2s_dx2;
  }
  grid.fill_spacings();
  return grid;
}

}  // namespace vyr
