#include "methods/finite_difference/time_stepping/tr_bdf2.hpp"

namespace vyr {

TrBdf2::TrBdf2(std::size_t nodes, std::span<double> storage) {
  if (storage.size() < storage_size(nodes)) {
    panic("TR-BDF2 storage too small");
  }
  stage_values_ = storage.subspan(0, nodes);
  new_values_ = storage.subspan(nodes, nodes);
  stage_image_ = storage.subspan(2 * nodes, nodes);
  new_image_ = storage.subspan(3 * nodes, nodes);
  scratch_ = storage.subspan(4 * nodes, nodes);
}

}  // namespace vyr
