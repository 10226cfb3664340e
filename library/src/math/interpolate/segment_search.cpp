#include "math/interpolate/linear.hpp"

namespace vyr {

std::size_t locate_segment(std::span<const double> xs, double x) {
  const std::size_t n = xs.size();
  if (x <= xs[0]) {
    return 0;
  }
  if (x >= xs[n - 1]) {
    return n - 2;
  }
  // A NaN x fails every comparison above and below, so the bisection ends in segment 0.
  std::size_t lo = 0;
  std::size_t hi = n - 1;
  while (hi - lo > 1) {
    const std::size_t mid = (lo + hi) / 2;
    if (x >= xs[mid]) {
      lo = mid;
    } else {
      hi = mid;
    }
  }
  return lo;
}

}  // namespace vyr
