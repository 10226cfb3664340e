// Building a monotone cubic spline from nodes, as the finite-difference driver does for every
// pricing (the value spline over the whole grid, the image spline over a few nodes), including
// the copies of the node arrays the constructor takes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "math/interpolate/monotone_cubic.hpp"

// Defined with the counting allocator in analytic_pricer_bench.cpp.
std::size_t allocation_count();

namespace {

// Spot nodes dense around 100 and an American put's value on them: the shape the driver fits.
struct Nodes {
  std::vector<double> xs, ys;

  explicit Nodes(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      const double z = -1.2 + 2.4 * static_cast<double>(i) / static_cast<double>(n - 1);
      const double spot = 100.0 * std::exp(0.3 * std::sinh(z * 2.0));
      xs.push_back(spot);
      ys.push_back(std::max(100.0 - spot, 0.0) + 4.0 * std::exp(-0.5 * z * z * 9.0));
    }
  }
};

void BM_MonotoneCubicCreate(benchmark::State& state) {
  const Nodes nodes(static_cast<std::size_t>(state.range(0)));
  const auto build = [&] {
    return vyr::MonotoneCubicInterpolator::create(nodes.xs, nodes.ys).value();
  };
  const std::size_t before = allocation_count();
  benchmark::DoNotOptimize(build());
  state.counters["allocs/build"] = static_cast<double>(allocation_count() - before);
  for (auto _ : state) {
    benchmark::DoNotOptimize(build());
  }
  state.SetItemsProcessed(state.iterations());
}
// 4 nodes: the image spline read inside the grid; 101: the value spline on the default grid.
BENCHMARK(BM_MonotoneCubicCreate)->Arg(4)->Arg(101)->Arg(1001);

}  // namespace
