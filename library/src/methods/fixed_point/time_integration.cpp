#include "methods/fixed_point/time_integration.hpp"

#include <array>
#include <cmath>
#include <mutex>
#include <numbers>

#include "methods/fixed_point/gauss_legendre.hpp"

namespace vyr::fixed_point {
namespace {

constexpr std::size_t kMax = FixedPointSettings::kMaxQuadratureNodes;

constexpr std::size_t padded(std::size_t n) {
  return (n + 3) / 4 * 4;
}

// Where the rule with n nodes starts: the rules of every size lie side by side, each padded.
constexpr std::size_t offset(std::size_t n) {
  std::size_t total = 0;
  for (std::size_t m = 1; m < n; ++m) {
    total += padded(m);
  }
  return total;
}

constexpr std::size_t kPacked = offset(kMax + 1);

struct RuleTable {
  std::array<std::once_flag, kMax + 1> built;
  std::array<TimeIntegrationRule, kMax + 1> rules;
  std::array<double, kPacked> sin;
  std::array<double, kPacked> cos;
  std::array<double, kPacked> weight;
  std::array<double, kPacked> inverse_sin_squared;
  std::array<double, kPacked> root_weight;
  std::array<double, kPacked> plain_weight;
  std::array<double, kPacked> cos_power;
};

enum class Map { Boundary, Premium };

void build(RuleTable& table, std::size_t n, Map map) {
  std::array<double, kMax> nodes;
  std::array<double, kMax> weights;
  gauss_legendre(n, std::span(nodes).first(n), std::span(weights).first(n));
  const std::size_t start = offset(n);
  for (std::size_t i = 0; i < padded(n); ++i) {
    const std::size_t k = i < n ? i : n - 1;
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
    const double sin = std::sin(theta);
    const double cos = std::cos(theta);
    const double weight = i < n ? weights[k] * jacobian : 0.0;
    table.sin[start + i] = sin;
    table.cos[start + i] = cos;
    table.weight[start + i] = weight;
    table.inverse_sin_squared[start + i] = 1.0 / (sin * sin);
    table.root_weight[start + i] = weight * cos;
    table.plain_weight[start + i] = weight * sin * cos;
    table.cos_power[start + i] = std::pow(cos, 2.0 / kAtStrikeExponent);
  }
  table.rules[n] = TimeIntegrationRule{n,
                                       padded(n),
                                       table.sin.data() + start,
                                       table.cos.data() + start,
                                       table.weight.data() + start,
                                       table.inverse_sin_squared.data() + start,
                                       table.root_weight.data() + start,
                                       table.plain_weight.data() + start,
                                       table.cos_power.data() + start};
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
