#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "math/interpolate/linear.hpp"
#include "math/interpolate/monotone_cubic.hpp"

// Defined with the counting allocator in analytic_pricer_bench.cpp.
std::size_t allocation_count();

namespace {

// Nodes of a smooth increasing curve on [0, 1] and a fixed set of query points spread over (and
// slightly beyond) them, visited in random order so the interval search is not predictable.
struct Fixture {
  std::vector<double> xs, ys, queries;

  explicit Fixture(std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
      const double x = static_cast<double>(i) / static_cast<double>(n - 1);
      xs.push_back(x);
      ys.push_back(std::log1p(4.0 * x) + x * x);
    }
    std::mt19937_64 rng(42);
    std::uniform_real_distribution<double> position(-0.02, 1.02);
    for (int k = 0; k < 1024; ++k) {
      queries.push_back(position(rng));
    }
  }
};

template <typename Interpolator, typename Evaluate>
void run(benchmark::State& state, const Interpolator& f, const Fixture& fixture,
         Evaluate evaluate) {
  const std::size_t before = allocation_count();
  benchmark::DoNotOptimize(evaluate(f, 0.5));
  state.counters["allocs/eval"] = static_cast<double>(allocation_count() - before);
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(evaluate(f, fixture.queries[k++ & 1023]));
  }
  state.SetItemsProcessed(state.iterations());
}

void BM_LinearValue(benchmark::State& state) {
  const Fixture fixture(static_cast<std::size_t>(state.range(0)));
  const auto f = vyr::LinearInterpolator::create(fixture.xs, fixture.ys).value();
  run(state, f, fixture, [](const auto& g, double x) { return g.value(x); });
}

void BM_MonotoneCubicValue(benchmark::State& state) {
  const Fixture fixture(static_cast<std::size_t>(state.range(0)));
  const auto f = vyr::MonotoneCubicInterpolator::create(fixture.xs, fixture.ys).value();
  run(state, f, fixture, [](const auto& g, double x) { return g.value(x); });
}

void BM_MonotoneCubicDerivative(benchmark::State& state) {
  const Fixture fixture(static_cast<std::size_t>(state.range(0)));
  const auto f = vyr::MonotoneCubicInterpolator::create(fixture.xs, fixture.ys).value();
  run(state, f, fixture, [](const auto& g, double x) { return g.derivative(x); });
}

void BM_MonotoneCubicSecondDerivative(benchmark::State& state) {
  const Fixture fixture(static_cast<std::size_t>(state.range(0)));
  const auto f = vyr::MonotoneCubicInterpolator::create(fixture.xs, fixture.ys).value();
  run(state, f, fixture, [](const auto& g, double x) { return g.second_derivative(x); });
}

// n = 101 is the size of interest; the other sizes show the logarithmic growth.
BENCHMARK(BM_LinearValue)->Arg(101)->Arg(11)->Arg(1001)->Arg(10001);
BENCHMARK(BM_MonotoneCubicValue)->Arg(101)->Arg(11)->Arg(1001)->Arg(10001);
BENCHMARK(BM_MonotoneCubicDerivative)->Arg(101);
BENCHMARK(BM_MonotoneCubicSecondDerivative)->Arg(101);

}  // namespace
