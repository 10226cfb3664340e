// A tridiagonal matrix L on N nodes: the product with a vector, the implicit solve of
// (I − θ·L)·u = rhs with a cached factorisation, and the first-difference boundary rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace vyr {

class TridiagonalOperator {
 public:
  // How rows 0 and N−1 of the system that solve() inverts read.
  enum class EdgeRows : std::uint8_t {
    // The rows of I − θ·L, like every other row.
    Implicit,
    // u₁ − u₀ = rhs₀ and u at N−1 minus u at N−2 = rhs at N−1, whatever θ is: the slope of the
    // solution itself is prescribed at both ends.
    FirstDifference,
  };

  // Reused while |θ − θ_cached| is below this.
  static constexpr double kThetaTolerance = 1e-12;

  static constexpr std::size_t kArrays = 6;
  static constexpr std::size_t storage_size(std::size_t nodes) { return kArrays * nodes; }

  // All coefficients zero, no factorisation, implicit edge rows. `storage` holds
  // storage_size(nodes) doubles (coefficients and factorisation) and must outlive the operator.
  // Panics "TridiagonalOperator requires at least 3 elements, found N" when nodes < 3.
  TridiagonalOperator(std::size_t nodes, std::span<double> storage);

  std::size_t size() const { return diag_.size(); }
  std::span<const double> lower() const { return lower_; }
  std::span<const double> diag() const { return diag_; }
  std::span<const double> upper() const { return upper_; }

  // Writes row i (lowerᵢ multiplies uᵢ₋₁, upperᵢ multiplies uᵢ₊₁) and discards the
  // factorisation. The coefficients outside the matrix (lower₀, upper at N−1) are kept at 0.
  void set_row(std::size_t i, double lower, double diag, double upper);

  // Row 0 becomes (0, −1, +1) and row N−1 becomes (−1, +1, 0): first differences in x. Any other
  // index changes no coefficient. The factorisation is discarded in every case.
  void set_boundary_row(std::size_t index);

  // Discards the factorisation when the setting changes.
  void set_edge_rows(EdgeRows rows);
  EdgeRows edge_rows() const { return edge_rows_; }

  // y = L·u. u and y hold at least N values and do not overlap.
  void apply(std::span<const double> u, std::span<double> y) const;

  // Solves (I − θ·L)·u = rhs (rows 0 and N−1 as edge_rows() says) by the Thomas algorithm
  // without pivoting, into `out`, with `scratch` for the forward sweep. `out` may be `rhs`;
  // `scratch` overlaps neither. A zero pivot is not detected: it yields infinities or NaN.
  void solve(double theta, std::span<const double> rhs, std::span<double> out,
             std::span<double> scratch);

  bool has_factorisation() const { return factorised_; }
  // The number of factorisations computed so far.
  std::uint64_t factorisation_count() const { return factorisations_; }

 private:
  friend struct FdmProcess;

  void factorise(double theta);

  std::span<double> lower_;
  std::span<double> diag_;
  std::span<double> upper_;
  // The factorisation: scaled sub-diagonal a, modified super-diagonal c′, inverse pivots m.
  std::span<double> sub_;
  std::span<double> super_;
  std::span<double> pivot_;
  double theta_ = 0.0;
  bool factorised_ = false;
  EdgeRows edge_rows_ = EdgeRows::Implicit;
  std::uint64_t factorisations_ = 0;
};

}  // namespace vyr
