// All the memory of one finite-difference pricing, taken in a single allocation sized from the
// node count and the number of dividends.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>

#include "methods/finite_difference/time_grid.hpp"

namespace vyr {

class FdmWorkspace {
 public:
  // Bytes of the workspace, or nullopt when the size overflows.
  static std::optional<std::size_t> workspace_bytes(std::size_t nodes, std::size_t dividends);
  // Bytes of the whole pricing: the workspace plus the two splines read after the march, or
  // nullopt when the size overflows.
  static std::optional<std::size_t> pricing_bytes(std::size_t nodes, std::size_t dividends);

  // Throws std::bad_alloc, before allocating anything, when pricing_bytes overflows or exceeds
  // the machine's physical memory.
  FdmWorkspace(std::size_t nodes, std::size_t dividends);

  std::size_t nodes() const { return nodes_; }
  // Grid storage 0 and 1 (Grid::storage_size(N) doubles each), used in turn at dividends.
  std::span<double> grid_storage(std::size_t which) const;
  std::span<double> operator_storage() const;
  std::span<double> stepper_storage() const;
  std::span<double> values() const;
  std::span<double> image() const;
  std::span<TimeInterval> intervals() const { return intervals_; }

 private:
  struct Release {
    void operator()(void* memory) const noexcept { ::operator delete(memory); }
  };

  std::size_t nodes_;
  std::unique_ptr<void, Release> memory_;
  std::span<double> doubles_;
  std::span<TimeInterval> intervals_;
};

}  // namespace vyr
