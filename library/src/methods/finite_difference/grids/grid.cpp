#include "methods/finite_difference/grids/grid.hpp"

#include "core/error.hpp"

namespace vyr {

namespace {

double checked(std::span<const double> values, std::size_t i) {
  if (i >= values.size()) {
    panic("grid node index out of range");
  }
  return values[i];
}

}  // namespace

Grid::Grid(GridKind kind, const CoordinateTransform& transform, std::size_t nodes,
           std::span<double> storage)
    : kind_(kind), transform_(transform) {
  if (storage.size() < storage_size(nodes)) {
    panic("grid storage too small");
  }
  x_ = storage.subspan(0, nodes);
  s_ = storage.subspan(nodes, nodes);
  h_plus_ = storage.subspan(2 * nodes, nodes);
  h_minus_ = storage.subspan(3 * nodes, nodes);
  // A uniform grid's spot values are S(x) at its nodes; the array is shared.
  s_of_x_ = kind == GridKind::Uniform ? s_ : storage.subspan(4 * nodes, nodes);
  ds_dx_ = storage.subspan(5 * nodes, nodes);
  d2s_dx2_ = storage.subspan(6 * nodes, nodes);
}

void Grid::fill_spacings() {
  const std::size_t n = x_.size();
  if (n == 0) {
    return;
  }
  h_minus_[0] = 0.0;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    const double h = x_[i + 1] - x_[i];
    h_plus_[i] = h;
    h_minus_[i + 1] = h;
  }
  h_plus_[n - 1] = 0.0;
}

void Grid::fit_to_spots() {
  const std::size_t n = x_.size();
  for (std::size_t i = 0; i < n; ++i) {
    const double x = transform_.to_x(s_[i]);
    const TransformPoint point = transform_.at(x);
    x_[i] = x;
    s_of_x_[i] = point.s;
    ds_dx_[i] = point.ds_dx;
    d2s_dx2_[i] = point.d2s_dx2;
  }
  fill_spacings();
}

double Grid::x(std::size_t i) const {
  return checked(x_, i);
}
double Grid::spot(std::size_t i) const {
  return checked(s_, i);
}
double Grid::h_plus(std::size_t i) const {
  return checked(h_plus_, i);
}
double Grid::h_minus(std::size_t i) const {
  return checked(h_minus_, i);
}

}  // namespace vyr
