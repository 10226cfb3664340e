// A tridiagonal matrix L on N nodes: the product with a vector, the implicit solve of
// (I − θ·L)·u = rhs with a cached factorisation, and the first-difference boundary rows.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <span>

namespace vyr {

// Row 0 or row N−1 of the system that an implicit solve inverts, as data: the coefficient of the
// edge value and that of its one neighbour, each `fixed + θ·scaled`. The rows of I − θ·L read
// (1 − θ·diag) and (−θ·off); a slope prescribed on the solution itself reads −1 and +1 at the
// lower edge whatever θ is.
struct SystemEdgeRow {
  double edge_fixed = 1.0;
  double edge_scaled = 0.0;
  double neighbour_fixed = 0.0;
  double neighbour_scaled = 0.0;

  // The row of I − θ·L for an operator row with diagonal `diag` and off-diagonal `off`.
  static constexpr SystemEdgeRow implicit(double diag, double off) {
    return {1.0, -diag, 0.0, -off};
  }
  // The edge value less its neighbour (`sign` = −1 at the lower edge: u₁ − u₀; +1 at the upper
  // edge: u at N−1 minus u at N−2), whatever θ is.
  static constexpr SystemEdgeRow difference(double sign) { return {sign, 0.0, -sign, 0.0}; }

  double edge(double theta) const { return edge_fixed + theta * edge_scaled; }
  double neighbour(double theta) const { return neighbour_fixed + theta * neighbour_scaled; }
};

// The edge of the grid from which the nodes a solution holds on its floor run contiguously.
enum class FloorSide : std::uint8_t { Lower, Upper };

class TridiagonalOperator {
 public:
  // Reused while |θ − θ_cached| is below this.
  static constexpr double kThetaTolerance = 1e-12;

  static constexpr std::size_t kArrays = 18;
  static constexpr std::size_t storage_size(std::size_t nodes) { return kArrays * nodes; }

  // All coefficients zero, no factorisation, the system's edge rows those of I − θ·L. `storage`
  // holds storage_size(nodes) doubles (coefficients and factorisation) and must outlive the
  // operator. Panics "TridiagonalOperator requires at least 3 elements, found N" when nodes < 3.
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

  // Rows 0 and N−1 of the system that solve() inverts; discards the factorisation. They are
  // independent of the product's own rows 0 and N−1, which apply() uses.
  void set_system_edge_rows(const SystemEdgeRow& lower, const SystemEdgeRow& upper);
  // The system's edge rows become the rows of I − θ·L for the product's current rows 0 and N−1.
  void use_implicit_edge_rows();
  const SystemEdgeRow& lower_edge_row() const { return lower_edge_row_; }
  const SystemEdgeRow& upper_edge_row() const { return upper_edge_row_; }

  // y = L·u. u and y hold at least N values and do not overlap.
  void apply(std::span<const double> u, std::span<double> y) const;
  // Rows first … last (inclusive, last < N) of y = L·u only.
  void apply_rows(std::span<const double> u, std::span<double> y, std::size_t first,
                  std::size_t last) const;

  // Solves (I − θ·L)·u = rhs (rows 0 and N−1 those of the system's edge rows) by the Thomas
  // algorithm without pivoting, into `out`, with `scratch` for the forward sweep; the three do not
  // overlap. A zero pivot is not detected: it yields infinities or NaN. Each sweep advances two
  // rows per turn (the second from the row before the pair), so results agree with one row at
  // a time up to rounding.
  void solve(double theta, std::span<const double> rhs, std::span<double> out,
             std::span<double> scratch);

  // The same solve with the right-hand side formed on the fly: rhs₀ = `first`, rhs at N−1 =
  // `last` and rhsᵢ = rhs_at(i) in between; writes L·out into `image` during the back
  // substitution, so one pass over the nodes does the work of a solve and a product. `out`,
  // `image` and `scratch` do not overlap each other nor anything rhs_at reads.
  template <typename RhsAt>
  void solve_and_apply(double theta, double first, RhsAt rhs_at, double last, std::span<double> out,
                       std::span<double> image, std::span<double> scratch);

  // Solves the complementarity problem u ≥ floor, (I − θ·L)·u ≥ rhs, with one of the two an
  // equality at every node, for a solution whose nodes on the floor run contiguously from the
  // `side` edge: the rows are eliminated from the opposite edge toward `side` (a cached
  // factorisation in either direction), and the values substituted back away from it, each
  // raised onto its floor, floor_at(i), as soon as it is known. The right-hand side is formed as
  // in solve_and_apply, and `image` receives L·out during the substitution, zeroed at the nodes
  // that were raised when `hold_raised` is set. `out` and `image` do not overlap each other nor
  // anything rhs_at reads.
  template <typename RhsAt, typename FloorAt>
  void solve_above_floor_and_apply(double theta, double first, RhsAt rhs_at, double last,
                                   FloorAt floor_at, FloorSide side, bool hold_raised,
                                   std::span<double> out, std::span<double> image);

  // Makes the floored solves of `side` at θ = theta_a and θ = theta_b use cached factorisations,
  // the two computed in one pass where neither is cached (their chains of divisions interleave).
  void prepare_floored(FloorSide side, double theta_a, double theta_b);

  bool has_factorisation() const { return linear_.valid; }
  // The number of factorisations computed so far.
  std::uint64_t factorisation_count() const { return factorisations_; }

 private:
  friend struct FdmProcess;

  // The arrays of a factorisation along its direction of elimination: position j is the j-th row
  // eliminated (node j upward, node N−1−j downward, where the row before a position is the node
  // above it): the sub-diagonal a of I − θ·L scaled by the inverse pivot (aⱼ·mⱼ, the multiplier
  // of the elimination), the modified super-diagonal c′, the inverse pivots m, and the products
  // of consecutive multipliers (aⱼ·mⱼ)·(aⱼ₋₁·mⱼ₋₁) and c′ⱼ₋₁·c′ⱼ that let the sweeps take two
  // rows at a time.
  struct ChainFactorisation {
    const double* sub;
    const double* super;
    const double* pivot;
    const double* sub_pairs;
    const double* super_pairs;
  };
  // A cached factorisation: its arrays, the edge it eliminates toward (Upper: from node 0 up) and
  // its θ.
  struct Factorisation {
    std::span<double> sub;
    std::span<double> super;
    std::span<double> pivot;
    std::span<double> sub_pairs;
    std::span<double> super_pairs;
    FloorSide side = FloorSide::Lower;
    double theta = 0.0;
    bool valid = false;

    bool serves(FloorSide s, double t) const {
      return valid && side == s && std::fabs(t - theta) < kThetaTolerance;
    }
    ChainFactorisation chain() const {
      return {sub.data(), super.data(), pivot.data(), sub_pairs.data(), super_pairs.data()};
    }
  };
  // Factorises at each θ of `thetas` (one or two) into the slots of the same index, eliminating
  // toward the upper edge, or with kReverse toward the lower one.
  template <bool kReverse>
  void factorise_chains(std::span<const double> thetas, std::span<Factorisation* const> slots);
  // The linear solves' factorisation, refreshed unless it serves θ.
  void prepare(double theta) {
    if (!linear_.serves(FloorSide::Upper, theta)) {
      factorise(theta);
    }
  }
  void factorise(double theta);
  // The floored solves' slot serving (side, θ), factorised into the slot not used last when none
  // does.
  const Factorisation& floored_factorisation(FloorSide side, double theta);
  void discard_factorisations() {
    linear_.valid = false;
    floored_[0].valid = false;
    floored_[1].valid = false;
  }
  template <bool kReverse, typename RhsAt, typename FloorAt>
  void floored_sweep(const ChainFactorisation& f, double first, RhsAt rhs_at, double last,
                     FloorAt floor_at, bool hold_raised, double* __restrict u,
                     double* __restrict y) const;
  void require_length(std::span<const double> values) const;
  // Both sweeps of the solve; rhs₀ = first, rhs at N−1 = last, rhsᵢ = rhs_at(i) in between.
  // With kWithImage, y = L·u as well.
  template <bool kWithImage, typename RhsAt>
  void sweep(double first, RhsAt rhs_at, double last, double* __restrict u, double* __restrict y,
             double* __restrict z) const;

  std::span<double> lower_;
  std::span<double> diag_;
  std::span<double> upper_;
  // The factorisation of the linear solves, and the two of the floored solves (an American march
  // steps at two sizes) with the slot factorised last.
  Factorisation linear_;
  Factorisation floored_[2];
  std::size_t floored_last_ = 0;
  SystemEdgeRow lower_edge_row_{};
  SystemEdgeRow upper_edge_row_{};
  std::uint64_t factorisations_ = 0;
};

template <typename RhsAt>
void TridiagonalOperator::solve_and_apply(double theta, double first, RhsAt rhs_at, double last,
                                          std::span<double> out, std::span<double> image,
                                          std::span<double> scratch) {
  require_length(out);
  require_length(image);
  require_length(scratch);
  prepare(theta);
  sweep<true>(first, rhs_at, last, out.data(), image.data(), scratch.data());
}

template <bool kWithImage, typename RhsAt>
void TridiagonalOperator::sweep(double first, RhsAt rhs_at, double last, double* __restrict u,
                                double* __restrict y, double* __restrict z) const {
  const std::size_t n = size();
  const double* __restrict am = linear_.sub.data();
  const double* __restrict cp = linear_.super.data();
  const double* __restrict m = linear_.pivot.data();
  const double* __restrict pa = linear_.sub_pairs.data();
  const double* __restrict pc = linear_.super_pairs.data();
  const double* __restrict lo = lower_.data();
  const double* __restrict di = diag_.data();
  const double* __restrict up = upper_.data();

  // Forward sweep zᵢ = rhsᵢ·mᵢ − zᵢ₋₁·(aᵢ·mᵢ), two rows per turn: both rows of a pair follow
  // from the row before the pair, which halves the chain of dependent operations.
  double z_prev = first * m[0];
  z[0] = z_prev;
  std::size_t i = 1;
  for (; i + 2 < n; i += 2) {
    const double r1 = rhs_at(i) * m[i];
    const double r2 = rhs_at(i + 1) * m[i + 1];
    const double r2_less_r1 = r2 - am[i + 1] * r1;
    z[i] = r1 - am[i] * z_prev;
    z_prev = r2_less_r1 + pa[i + 1] * z_prev;
    z[i + 1] = z_prev;
  }
  if (i + 1 < n) {
    z_prev = rhs_at(i) * m[i] - z_prev * am[i];
    z[i] = z_prev;
  }
  const double top = last * m[n - 1] - z_prev * am[n - 1];
  z[n - 1] = top;

  // Back substitution uᵢ = zᵢ − c′ᵢ·uᵢ₊₁, two rows per turn in the same way; with kWithImage
  // each row of L·u is formed as soon as its three values are known.
  double above = top;  // u at k + 1
  u[n - 1] = above;
  double here = z[n - 2] - cp[n - 2] * above;  // u at k
  u[n - 2] = here;
  if constexpr (kWithImage) {
    y[n - 1] = lo[n - 1] * here + di[n - 1] * above;
  }
  std::size_t k = n - 2;
  for (; k >= 2; k -= 2) {
    const double next = z[k - 1] - cp[k - 1] * here;
    const double after = (z[k - 2] - cp[k - 2] * z[k - 1]) + pc[k - 1] * here;
    u[k - 1] = next;
    u[k - 2] = after;
    if constexpr (kWithImage) {
      y[k] = lo[k] * next + di[k] * here + up[k] * above;
      y[k - 1] = lo[k - 1] * after + di[k - 1] * next + up[k - 1] * here;
    }
    above = next;
    here = after;
  }
  if (k == 1) {
    const double next = z[0] - cp[0] * here;
    u[0] = next;
    if constexpr (kWithImage) {
      y[1] = lo[1] * next + di[1] * here + up[1] * above;
    }
    above = here;
    here = next;
  }
  if constexpr (kWithImage) {
    y[0] = di[0] * here + up[0] * above;
  }
}

template <typename RhsAt, typename FloorAt>
void TridiagonalOperator::solve_above_floor_and_apply(double theta, double first, RhsAt rhs_at,
                                                      double last, FloorAt floor_at, FloorSide side,
                                                      bool hold_raised, std::span<double> out,
                                                      std::span<double> image) {
  require_length(out);
  require_length(image);
  const ChainFactorisation chain = floored_factorisation(side, theta).chain();
  if (side == FloorSide::Upper) {
    floored_sweep<false>(chain, first, rhs_at, last, floor_at, hold_raised, out.data(),
                         image.data());
  } else {
    floored_sweep<true>(chain, first, rhs_at, last, floor_at, hold_raised, out.data(),
                        image.data());
  }
}

template <bool kReverse, typename RhsAt, typename FloorAt>
void TridiagonalOperator::floored_sweep(const ChainFactorisation& f, double first, RhsAt rhs_at,
                                        double last, FloorAt floor_at, bool hold_raised,
                                        double* __restrict u, double* __restrict y) const {
  const std::size_t n = size();
  const std::size_t top = n - 1;
  const double* __restrict am = f.sub;
  const double* __restrict cp = f.super;
  const double* __restrict m = f.pivot;
  const double* __restrict pa = f.sub_pairs;
  const double* __restrict pc = f.super_pairs;
  const double* __restrict lo = lower_.data();
  const double* __restrict di = diag_.data();
  const double* __restrict up = upper_.data();
  // Position j along the elimination is node j, or node N−1−j when it runs downward.
  const auto node = [top](std::size_t j) { return kReverse ? top - j : j; };
  const auto rhs = [&rhs_at, node](std::size_t j) { return rhs_at(node(j)); };
  const auto floor = [&floor_at, node](std::size_t j) { return floor_at(node(j)); };

  // Elimination zⱼ = rhsⱼ·mⱼ − zⱼ₋₁·(aⱼ·mⱼ), two rows per turn as in the linear solve; z is kept
  // in y, which receives each image row once z is no longer needed there.
  double* __restrict z = y;
  const auto eliminate = [&]() {
    double z_prev = (kReverse ? last : first) * m[0];
    z[node(0)] = z_prev;
    std::size_t j = 1;
    for (; j + 2 < n; j += 2) {
      const double r1 = rhs(j) * m[j];
      const double r2 = rhs(j + 1) * m[j + 1];
      const double r2_less_r1 = r2 - am[j + 1] * r1;
      z[node(j)] = r1 - am[j] * z_prev;
      z_prev = r2_less_r1 + pa[j + 1] * z_prev;
      z[node(j + 1)] = z_prev;
    }
    if (j + 1 < n) {
      z_prev = rhs(j) * m[j] - z_prev * am[j];
      z[node(j)] = z_prev;
    }
    z[node(top)] = (kReverse ? first : last) * m[top] - z_prev * am[top];
  };
  eliminate();

  // Row i of L·u, and whether a value on its floor holds its node (image zero).
  const auto row_at = [lo, di, up, u, top](std::size_t i) {
    return i == 0     ? di[0] * u[0] + up[0] * u[1]
           : i == top ? lo[top] * u[top - 1] + di[top] * u[top]
                      : lo[i] * u[i - 1] + di[i] * u[i] + up[i] * u[i + 1];
  };
  const auto interior_row = [lo, di, up, u](std::size_t i) {
    return lo[i] * u[i - 1] + di[i] * u[i] + up[i] * u[i + 1];
  };
  const auto image_at = [&](std::size_t position) {
    const std::size_t i = node(position);
    y[i] = hold_raised && !(u[i] > floor(position)) ? 0.0 : row_at(i);
  };

  // Substitution uⱼ = max(zⱼ − c′ⱼ·uⱼ₊₁, floorⱼ) from the floor's edge, in two parts. The
  // exercised run: while the value above sits on its floor the next candidate is formed from
  // that floor itself, so these rows do not wait on each other. Past it, where the exercise region
  // is that one run, every value clears its floor: the plain substitution, two rows per turn,
  // each image row formed as soon as its three values are known. Should a value there fall below
  // its floor after all, the rows are taken again from the first such value, one at a time, each
  // floored, and the image formed afresh.
  std::size_t k = top;  // u is final from position k up
  {
    const double floor_top = floor(top);
    const double z_top = z[node(top)];
    u[node(top)] = z_top < floor_top ? floor_top : z_top;
  }
  if (u[node(top)] <= floor(top)) {
    double floor_above = floor(top);
    while (k > 0) {
      const double floor_here = floor(k - 1);
      const double candidate = z[node(k - 1)] - cp[k - 1] * floor_above;
      --k;
      if (candidate < floor_here) {
        u[node(k)] = floor_here;
        floor_above = floor_here;
      } else {
        u[node(k)] = candidate;
        break;
      }
    }
  }
  const std::size_t run_end = k;
  for (std::size_t position = top; position > run_end; --position) {
    image_at(position);
  }
  bool below_floor = false;
  double here = u[node(k)];
  for (; k >= 2; k -= 2) {
    const double z1 = z[node(k - 1)];
    const double next = z1 - cp[k - 1] * here;
    const double after = (z[node(k - 2)] - cp[k - 2] * z1) + pc[k - 1] * here;
    u[node(k - 1)] = next;
    u[node(k - 2)] = after;
    below_floor |= (next < floor(k - 1)) | (after < floor(k - 2));
    // Past the run no value is on its floor: the rows are the operator's, the edge's at most
    // at the first.
    if (k == top) {
      image_at(k);
    } else {
      y[node(k)] = interior_row(node(k));
    }
    y[node(k - 1)] = interior_row(node(k - 1));
    here = after;
  }
  if (k == 1) {
    const double next = z[node(0)] - cp[0] * here;
    u[node(0)] = next;
    below_floor |= next < floor(0);
    if (top == 1) {
      image_at(1);
    } else {
      y[node(1)] = interior_row(node(1));
    }
  }
  image_at(0);
  if (!below_floor) {
    return;
  }
  eliminate();
  for (std::size_t below = run_end; below-- > 0;) {
    if (u[node(below)] < floor(below)) {
      u[node(below)] = floor(below);
      for (k = below; k > 0; --k) {
        const double candidate = z[node(k - 1)] - cp[k - 1] * u[node(k)];
        const double floor_here = floor(k - 1);
        u[node(k - 1)] = candidate < floor_here ? floor_here : candidate;
      }
      break;
    }
  }
  for (std::size_t position = 0; position < n; ++position) {
    image_at(position);
  }
}

}  // namespace vyr
