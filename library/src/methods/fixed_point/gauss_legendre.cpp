#include "methods/fixed_point/gauss_legendre.hpp"

#include <cmath>
#include <numbers>

namespace vyr::fixed_point {
namespace {

// P_n(x) and P_n'(x) by the three-term recurrence.
void legendre(std::size_t n, double x, double& value, double& derivative) {
  double previous = 1.0;
  double current = x;
  for (std::size_t k = 2; k <= n; ++k) {
    const double kd = static_cast<double>(k);
    const double next = ((2.0 * kd - 1.0) * x * current - (kd - 1.0) * previous) / kd;
    previous = current;
    current = next;
  }
  value = n == 0 ? 1.0 : current;
  derivative = static_cast<double>(n) * (x * current - previous) / (x * x - 1.0);
}

}  // namespace

void gauss_legendre(std::size_t n, std::span<double> nodes, std::span<double> weights) {
  const double nd = static_cast<double>(n);
  for (std::size_t i = 0; i < (n + 1) / 2; ++i) {
    // The i-th largest root, from Tricomi's asymptotic estimate.
    const double id = static_cast<double>(i) + 1.0;
    double x = (1.0 - (nd - 1.0) / (8.0 * nd * nd * nd)) *
               std::cos(std::numbers::pi * (4.0 * id - 1.0) / (4.0 * nd + 2.0));
    double value = 0.0;
    double derivative = 1.0;
    for (int iteration = 0; iteration < 100; ++iteration) {
      legendre(n, x, value, derivative);
      const double step = value / derivative;
      x -= step;
      if (std::fabs(step) <= 1e-16) {
        break;
      }
    }
    legendre(n, x, value, derivative);
    const double weight = 2.0 / ((1.0 - x * x) * derivative * derivative);
    nodes[n - 1 - i] = x;
    nodes[i] = -x;
    weights[n - 1 - i] = weight;
    weights[i] = weight;
  }
  if (n % 2 == 1) {
    nodes[n / 2] = 0.0;
  }
}

}  // namespace vyr::fixed_point
