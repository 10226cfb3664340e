#include "methods/fixed_point/time_integration.hpp"

#include <array>
#include <cmath>
#include <mutex>
#include <numbers>

#include "methods/fixed_point/gauss_legendre.hpp"

namespace vyr::fixed_point {
namespace {

constexpr std::size_t kMax = FixedPointSettings::kMaxQuadratureNodes;
constexpr std::size_t kPacked = kMax * (kMax + 1) / 2;

// Rules of every size side by side: the rule with n nodes starts at n(n − 1)/2.
struct RuleTable {
  std::array<std::once_flag, kMax + 1> built;
  std::array<TimeIntegrationRule, kMax + 1> rules;
  std::array<double, kPacked> sin;
  std::array<double, kPacked> cos;
  std::array<double, kPacked> weight;
};

enum class Map { Boundary, Premium };

void build(RuleTable& table, std::size_t n, Map map) {
  std::array<double, kMax> nodes;
  std::array<double, kMax> weights;
  gauss_legendre(n, std::span(nodes).first(n), std::span(weights).first(n));
  const std::size_t offset = n * (n - 1) / 2;
  for (std::size_t k = 0; k < n; ++k) {
    double theta;
    double jacobian;  // dθ/dy
    if (map == Map::Boundary) {
      theta = 0.25 * std::numbers::pi * (1.0 + nodes[k]);
      jacobian = 0.25 * std::numbers::pi;
    } else {
      const double v = 0.5 * (1.0 + nodes[k]);
      theta = 0.5 * std::numbers::pi * v * v;
      jacobian = 0.5 * std::numbers::pi * v;
    }
    table.sin[offset + k] = std::sin(theta);
    table.cos[offset + k] = std::cos(theta);
    table.weight[offset + k] = weights[k] * jacobian;
  }
  table.rules[n] = TimeIntegrationRule{n, table.sin.data() + offset, table.cos.data() + offset,
                                       table.weight.data() + offset};
}

const TimeIntegrationRule& rule(RuleTable& table, std::size_t n, Map map) {
  std::call_once(table.built[n], [&] { build(table, n, map); });
  return table.rules[n];
}

}  // namespace

const TimeIntegrationRule& boundary_rule(std::size_t nodes) {
  static RuleTable table;
  return rule(table, nodes, Map::Boundary);
}

const TimeIntegrationRule& premium_rule(std::size_t nodes) {
  static RuleTable table;
  return rule(table, nodes, Map::Premium);
}

}  // namespace vyr::fixed_point
