#include "methods/fixed_point/vector_lanes.hpp"

namespace vyr::fixed_point {

bool wide_lanes() {
#if VYR_HAS_WIDE_LANES
  static const bool wide = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return wide;
#else
  return false;
#endif
}

}  // namespace vyr::fixed_point
