// The spatial grid: nodes uniform in a transformed coordinate, or fitted to a list of spot
// values after a dividend shift.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "methods/finite_difference/transform.hpp"

namespace vyr {

enum class GridKind : std::uint8_t { Uniform, Fitted };

// A grid of N nodes over caller-provided storage of storage_size(N) doubles, which must outlive
// it. Besides the nodes x, the spot values S and the spacings h⁺ (h⁺ at N−1 is 0) and h⁻ (h⁻ at 0
// is 0), it keeps the transform's S(x), dS/dx and d²S/dx² at every node, evaluated once when the
// grid is built. For a uniform grid S(x) are the spot values themselves; for a fitted grid the
// spot values are the given ones and S(x) is recomputed from x.
class Grid {
 public:
  static constexpr std::size_t kArrays = 7;
  static constexpr std::size_t storage_size(std::size_t nodes) { return kArrays * nodes; }

  GridKind kind() const { return kind_; }
  const CoordinateTransform& transform() const { return transform_; }
  std::size_t size() const { return x_.size(); }

  // Checked queries; an index at or beyond N panics.
  double x(std::size_t i) const;
  double spot(std::size_t i) const;
  double h_plus(std::size_t i) const;
  double h_minus(std::size_t i) const;

  std::span<const double> xs() const { return x_; }
  std::span<const double> spots() const { return s_; }
  std::span<const double> h_plus() const { return h_plus_; }
  std::span<const double> h_minus() const { return h_minus_; }
  // to_s, ds_dx and d2s_dx2 of the transform at each node x.
  std::span<const double> s_of_x() const { return s_of_x_; }
  std::span<const double> ds_dx() const { return ds_dx_; }
  std::span<const double> d2s_dx2() const { return d2s_dx2_; }

 private:
  Grid(GridKind kind, const CoordinateTransform& transform, std::size_t nodes,
       std::span<double> storage);

  // Fills h⁺ and h⁻ from x.
  void fill_spacings();
  // With the spot values in place, computes x = to_x(S), the transform's values at x and the
  // spacings.
  void fit_to_spots();

  friend Grid build_uniform_grid(const CoordinateTransform& transform, double x_min, double x_max,
                                 std::size_t nodes, std::span<double> storage);
  friend Grid build_fitted_grid(const CoordinateTransform& transform, std::span<const double> spots,
                                std::span<double> storage);
  friend Grid shift(const Grid& grid, double amount, std::span<double> storage);

  GridKind kind_;
  CoordinateTransform transform_;
  std::span<double> x_;
  std::span<double> s_;
  std::span<double> h_plus_;
  std::span<double> h_minus_;
  std::span<double> s_of_x_;
  std::span<double> ds_dx_;
  std::span<double> d2s_dx2_;
};

}  // namespace vyr
