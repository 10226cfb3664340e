// The state carried from step to step: the values u at the nodes and their operator image L·u,
// which the next step reuses instead of recomputing it.
#pragma once

#include <span>

namespace vyr {

struct InputVectors {
  std::span<double> values;
  std::span<double> image;
};

}  // namespace vyr
