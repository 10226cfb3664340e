#include "methods/finite_difference/workspace.hpp"

#include <unistd.h>

#include <limits>
#include <new>

#include "methods/finite_difference/grids/grid.hpp"
#include "methods/finite_difference/linear_operators/tridiagonal_operator.hpp"
#include "methods/finite_difference/time_stepping/tr_bdf2.hpp"

namespace vyr {

namespace {

// Doubles per node: two grids, the operator, the stepper and the state (u and L·u).
constexpr std::size_t kDoublesPerNode =
    2 * Grid::storage_size(1) + TridiagonalOperator::storage_size(1) + TrBdf2::storage_size(1) + 2;
// Doubles per node of the two splines built after the march: nodes, values, slopes and second
// derivatives kept, four work arrays while each is built.
constexpr std::size_t kSplineDoublesPerNode = 2 * 8;

std::optional<std::size_t> multiply(std::size_t a, std::size_t b) {
  std::size_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) {
    return std::nullopt;
  }
  return product;
}

std::optional<std::size_t> add(std::optional<std::size_t> a, std::optional<std::size_t> b) {
  std::size_t sum = 0;
  if (!a || !b || __builtin_add_overflow(*a, *b, &sum)) {
    return std::nullopt;
  }
  return sum;
}

std::optional<std::size_t> double_bytes(std::size_t nodes) {
  const auto count = multiply(nodes, kDoublesPerNode);
  return count ? multiply(*count, sizeof(double)) : std::nullopt;
}

std::optional<std::size_t> physical_memory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) {
    return std::nullopt;
  }
  const auto bytes = multiply(static_cast<std::size_t>(pages), static_cast<std::size_t>(page_size));
  return bytes ? bytes : std::numeric_limits<std::size_t>::max();
}

}  // namespace

std::optional<std::size_t> FdmWorkspace::workspace_bytes(std::size_t nodes, std::size_t dividends) {
  const auto intervals = add(dividends, 1);
  return add(double_bytes(nodes),
             intervals ? multiply(*intervals, sizeof(TimeInterval)) : std::nullopt);
}

std::optional<std::size_t> FdmWorkspace::pricing_bytes(std::size_t nodes, std::size_t dividends) {
  const auto splines = multiply(nodes, kSplineDoublesPerNode);
  return add(workspace_bytes(nodes, dividends),
             splines ? multiply(*splines, sizeof(double)) : std::nullopt);
}

FdmWorkspace::FdmWorkspace(std::size_t nodes, std::size_t dividends) : nodes_(nodes) {
  const auto needed = pricing_bytes(nodes, dividends);
  if (!needed) {
    throw std::bad_alloc();
  }
  // Asking the system costs far more than a small pricing; any machine this runs on has more
  // memory than that.
  constexpr std::size_t kAlwaysAvailable = std::size_t{64} << 20;
  if (*needed > kAlwaysAvailable) {
    const auto available = physical_memory();
    if (available && *needed > *available) {
      throw std::bad_alloc();
    }
  }
  const std::size_t double_count = nodes * kDoublesPerNode;
  const std::size_t interval_count = dividends + 1;
  memory_.reset(::operator new(*workspace_bytes(nodes, dividends)));
  // Placement array-new of the library's operator begins the lifetimes without any overhead.
  double* doubles = ::new (memory_.get()) double[double_count];
  TimeInterval* intervals =
      ::new (static_cast<void*>(doubles + double_count)) TimeInterval[interval_count];
  doubles_ = std::span<double>(doubles, double_count);
  intervals_ = std::span<TimeInterval>(intervals, interval_count);
}

std::span<double> FdmWorkspace::grid_storage(std::size_t which) const {
  const std::size_t size = Grid::storage_size(nodes_);
  return doubles_.subspan((which == 0 ? 0 : 1) * size, size);
}

std::span<double> FdmWorkspace::operator_storage() const {
  return doubles_.subspan(2 * Grid::storage_size(nodes_),
                          TridiagonalOperator::storage_size(nodes_));
}

std::span<double> FdmWorkspace::stepper_storage() const {
  return doubles_.subspan(
      2 * Grid::storage_size(nodes_) + TridiagonalOperator::storage_size(nodes_),
      TrBdf2::storage_size(nodes_));
}

std::span<double> FdmWorkspace::values() const {
  return doubles_.subspan(doubles_.size() - 2 * nodes_, nodes_);
}

std::span<double> FdmWorkspace::image() const {
  return doubles_.subspan(doubles_.size() - nodes_, nodes_);
}

}  // namespace vyr
