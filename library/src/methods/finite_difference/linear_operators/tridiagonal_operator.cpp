#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/error.hpp"

namespace vyr {

TridiagonalOperator::TridiagonalOperator(std::size_t nodes, std::span<double> storage) {
  if (nodes < 3) {
    panic("TridiagonalOperator requires at least 3 elements, found " + std::to_string(nodes));
  }
  if (storage.size() < storage_size(nodes)) {
    panic("TridiagonalOperator storage too small");
  }
  lower_ = storage.subspan(0, nodes);
  diag_ = storage.subspan(nodes, nodes);
  upper_ = storage.subspan(2 * nodes, nodes);
  std::size_t base = 3 * nodes;
  for (Factorisation* f : {&linear_, &floored_[0], &floored_[1]}) {
    f->sub = storage.subspan(base, nodes);
    f->super = storage.subspan(base + nodes, nodes);
    f->pivot = storage.subspan(base + 2 * nodes, nodes);
    f->sub_pairs = storage.subspan(base + 3 * nodes, nodes);
    f->super_pairs = storage.subspan(base + 4 * nodes, nodes);
    base += 5 * nodes;
  }
  std::fill(lower_.begin(), lower_.end(), 0.0);
  std::fill(diag_.begin(), diag_.end(), 0.0);
  std::fill(upper_.begin(), upper_.end(), 0.0);
}

void TridiagonalOperator::set_row(std::size_t i, double lower, double diag, double upper) {
  const std::size_t n = size();
  if (i >= n) {
    panic("TridiagonalOperator row index out of range");
  }
  lower_[i] = i == 0 ? 0.0 : lower;
  diag_[i] = diag;
  upper_[i] = i == n - 1 ? 0.0 : upper;
  discard_factorisations();
}

void TridiagonalOperator::set_boundary_row(std::size_t index) {
  const std::size_t n = size();
  if (index == 0) {
    lower_[0] = 0.0;
    diag_[0] = -1.0;
    upper_[0] = 1.0;
  } else if (index == n - 1) {
    lower_[n - 1] = -1.0;
    diag_[n - 1] = 1.0;
    upper_[n - 1] = 0.0;
  }
  discard_factorisations();
}

void TridiagonalOperator::set_system_edge_rows(const SystemEdgeRow& lower,
                                               const SystemEdgeRow& upper) {
  lower_edge_row_ = lower;
  upper_edge_row_ = upper;
  discard_factorisations();
}

void TridiagonalOperator::use_implicit_edge_rows() {
  const std::size_t last = size() - 1;
  set_system_edge_rows(SystemEdgeRow::implicit(diag_[0], upper_[0]),
                       SystemEdgeRow::implicit(diag_[last], lower_[last]));
}

void TridiagonalOperator::require_length(std::span<const double> values) const {
  if (values.size() < size()) {
    panic("TridiagonalOperator vector shorter than the operator");
  }
}

void TridiagonalOperator::apply(std::span<const double> u, std::span<double> y) const {
  apply_rows(u, y, 0, size() - 1);
}

void TridiagonalOperator::apply_rows(std::span<const double> u, std::span<double> y,
                                     std::size_t first, std::size_t last) const {
  const std::size_t n = size();
  require_length(u);
  require_length(y);
  if (last >= n || first > last) {
    panic("TridiagonalOperator row range out of range");
  }
  const double* __restrict l = lower_.data();
  const double* __restrict d = diag_.data();
  const double* __restrict c = upper_.data();
  const double* __restrict in = u.data();
  double* __restrict out = y.data();
  std::size_t i = first;
  if (i == 0) {
    out[0] = d[0] * in[0] + c[0] * in[1];
    ++i;
  }
  const std::size_t interior_end = std::min(last + 1, n - 1);
  for (; i < interior_end; ++i) {
    out[i] = l[i] * in[i - 1] + d[i] * in[i] + c[i] * in[i + 1];
  }
  if (last == n - 1) {
    out[n - 1] = l[n - 1] * in[n - 2] + d[n - 1] * in[n - 1];
  }
}

void TridiagonalOperator::factorise(double theta) {
  Factorisation* const slot = &linear_;
  factorise_chains<false>(std::span<const double>(&theta, 1),
                          std::span<Factorisation* const>(&slot, 1));
}

template <bool kReverse>
void TridiagonalOperator::factorise_chains(std::span<const double> thetas,
                                           std::span<Factorisation* const> slots) {
  // Upward, position j is node j and the factorisation is the linear solve's own. Downward,
  // position j is node N−1−j: the row before it is the node above, so the operator's upper
  // coefficient plays the sub-diagonal and the lower one the super-diagonal, and the edge rows
  // trade places. Each θ is its own chain of divisions; the loop advances them side by side.
  const std::size_t n = size();
  const std::size_t top = n - 1;
  const std::size_t count = thetas.size();
  const SystemEdgeRow& start_row = kReverse ? upper_edge_row_ : lower_edge_row_;
  const SystemEdgeRow& end_row = kReverse ? lower_edge_row_ : upper_edge_row_;
  const double* __restrict before = kReverse ? upper_.data() : lower_.data();
  const double* __restrict after = kReverse ? lower_.data() : upper_.data();
  const double* __restrict di = diag_.data();
  for (std::size_t c = 0; c < count; ++c) {
    Factorisation& f = *slots[c];
    const double theta = thetas[c];
    f.sub[0] = 0.0;
    f.pivot[0] = 1.0 / start_row.edge(theta);
    f.super[0] = f.pivot[0] * start_row.neighbour(theta);
  }
  for (std::size_t j = 1; j < top; ++j) {
    const std::size_t i = kReverse ? top - j : j;
    for (std::size_t c = 0; c < count; ++c) {
      Factorisation& f = *slots[c];
      const double theta = thetas[c];
      const double sub = -theta * before[i];
      const double super = -theta * after[i];
      f.pivot[j] = 1.0 / (1.0 - theta * di[i] - sub * f.super[j - 1]);
      f.super[j] = f.pivot[j] * super;
      f.sub[j] = sub * f.pivot[j];
    }
  }
  for (std::size_t c = 0; c < count; ++c) {
    Factorisation& f = *slots[c];
    const double theta = thetas[c];
    const double sub = end_row.neighbour(theta);
    f.pivot[top] = 1.0 / (end_row.edge(theta) - sub * f.super[top - 1]);
    f.super[top] = 0.0;
    f.sub[top] = sub * f.pivot[top];
    f.sub_pairs[0] = 0.0;
    f.super_pairs[0] = 0.0;
    for (std::size_t j = 1; j < n; ++j) {
      f.sub_pairs[j] = f.sub[j] * f.sub[j - 1];
      f.super_pairs[j] = f.super[j - 1] * f.super[j];
    }
    f.side = kReverse ? FloorSide::Lower : FloorSide::Upper;
    f.theta = theta;
    f.valid = true;
    ++factorisations_;
  }
}

void TridiagonalOperator::prepare_floored(FloorSide side, double theta_a, double theta_b) {
  const auto served = [this, side](double theta) {
    return floored_[0].serves(side, theta) || floored_[1].serves(side, theta);
  };
  // The θ no slot serves (once each), into the slots that serve neither, the one not factorised
  // last first.
  double missing[2] = {0.0, 0.0};
  std::size_t count = 0;
  if (!served(theta_a)) {
    missing[count++] = theta_a;
  }
  if (!served(theta_b) && !(count == 1 && std::fabs(theta_b - theta_a) < kThetaTolerance)) {
    missing[count++] = theta_b;
  }
  if (count == 0) {
    return;
  }
  Factorisation* free_slots[2] = {nullptr, nullptr};
  std::size_t filled = 0;
  for (const std::size_t k : {1 - floored_last_, floored_last_}) {
    const bool keeps = floored_[k].serves(side, theta_a) || floored_[k].serves(side, theta_b);
    if (!keeps && filled < count) {
      free_slots[filled++] = &floored_[k];
    }
  }
  const std::span<const double> thetas(missing, count);
  const std::span<Factorisation* const> slots(free_slots, count);
  if (side == FloorSide::Lower) {
    factorise_chains<true>(thetas, slots);
  } else {
    factorise_chains<false>(thetas, slots);
  }
  floored_last_ = free_slots[count - 1] == &floored_[0] ? 0 : 1;
}

const TridiagonalOperator::Factorisation& TridiagonalOperator::floored_factorisation(FloorSide side,
                                                                                     double theta) {
  for (const Factorisation& f : floored_) {
    if (f.serves(side, theta)) {
      return f;
    }
  }
  prepare_floored(side, theta, theta);
  return floored_[floored_last_];
}

void TridiagonalOperator::solve(double theta, std::span<const double> rhs, std::span<double> out,
                                std::span<double> scratch) {
  const std::size_t n = size();
  require_length(rhs);
  require_length(out);
  require_length(scratch);
  prepare(theta);
  const double* r = rhs.data();
  sweep<false>(
      r[0], [r](std::size_t i) { return r[i]; }, r[n - 1], out.data(), nullptr, scratch.data());
}

}  // namespace vyr
