#include "methods/fixed_point/fixed_point_settings.hpp"

#include <cmath>
#include <string>

#include "core/error.hpp"
#include "core/number_format.hpp"

namespace vyr {
namespace {

void check_range(const char* name, std::size_t value, std::size_t low, std::size_t high) {
  if (value < low || value > high) {
    throw ValueError(std::string("FixedPointSettings: ") + name + " must be in [" +
                     std::to_string(low) + ", " + std::to_string(high) + "], got " +
                     std::to_string(value));
  }
}

}  // namespace

FixedPointSettings FixedPointSettings::high_accuracy() {
  FixedPointSettings s;
  s.collocation_nodes = 24;
  s.collocation_nodes_off_strike = 32;
  s.iterations = 3;
  s.first_iteration_quadrature_nodes = 8;
  s.boundary_quadrature_nodes = 32;
  s.premium_quadrature_nodes = 96;
  s.step_tolerance = 1e-5;
  return s;
}

void FixedPointSettings::validate() const {
  check_range("collocation_nodes", collocation_nodes, 2, kMaxCollocationNodes);
  check_range("collocation_nodes_off_strike", collocation_nodes_off_strike, 2,
              kMaxCollocationNodes);
  check_range("iterations", iterations, 0, kMaxIterations);
  if (!(step_tolerance >= 0.0) || !std::isfinite(step_tolerance)) {
    throw ValueError("FixedPointSettings: step_tolerance must be finite and not negative, got " +
                     format_shortest(step_tolerance));
  }
  check_range("first_iteration_quadrature_nodes", first_iteration_quadrature_nodes, 1,
              kMaxQuadratureNodes);
  check_range("boundary_quadrature_nodes", boundary_quadrature_nodes, 1, kMaxQuadratureNodes);
  check_range("premium_quadrature_nodes", premium_quadrature_nodes, 1, kMaxQuadratureNodes);
}

}  // namespace vyr
