// The settings of the finite-difference engine.
#pragma once

#include <cstdint>

namespace vyr {

// The coordinate the spatial grid is uniform in.
enum class TransformKind : std::uint8_t { Log, Sinh };

struct Transform {
  TransformKind kind = TransformKind::Sinh;
  double alpha = 0.3;  // concentration of the sinh transform; unused by Log
};

struct FdmConfig {
  Transform transform{};
  std::uint64_t grid_nodes = 101;
  std::uint64_t time_steps = 10;
  double grid_std_devs = 4.0;
};

}  // namespace vyr
