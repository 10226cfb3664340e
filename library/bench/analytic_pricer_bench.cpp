#include <benchmark/benchmark.h>

#include <array>
#include <atomic>
#include <cstdlib>
#include <new>

#include "methods/analytic_pricer.hpp"

// Every heap allocation of the benchmark binary is counted, so that each benchmark can report
// how many allocations one evaluation makes. Kept out of line so that the compiler does not pair
// an inlined new with an inlined delete and warn about malloc/free.
namespace {
std::atomic<std::size_t> allocations{0};
}  // namespace

[[gnu::noinline]] void* operator new(std::size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
[[gnu::noinline]] void operator delete(void* p) noexcept {
  std::free(p);
}
[[gnu::noinline]] void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}

std::size_t allocation_count() {
  return allocations.load(std::memory_order_relaxed);
}

namespace {

using vyr::AnalyticPricer;
using vyr::OptionType;

// A spread of spots around the strike so that the error function runs through several of its
// approximation ranges.
constexpr std::array<double, 8> kSpots{62.0, 81.0, 94.0, 99.5, 100.0, 104.0, 118.0, 151.0};

// Allocations made by one untimed call of `evaluate`.
template <typename Evaluate>
double allocations_of(Evaluate evaluate) {
  const std::size_t before = allocation_count();
  evaluate();
  return static_cast<double>(allocation_count() - before);
}

void BM_AnalyticPriceWithGreeks(benchmark::State& state) {
  const auto type = static_cast<OptionType>(state.range(0));
  const auto evaluate = [&](double spot) {
    return AnalyticPricer::price(
        {type, vyr::ExerciseStyle::European, 100.0, 1.0, spot, 0.2, 0.05, 0.01});
  };
  state.counters["allocs/eval"] = allocations_of([&] { benchmark::DoNotOptimize(evaluate(100)); });
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(evaluate(kSpots[k++ & 7]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnalyticPriceWithGreeks)->ArgName("put")->Arg(0)->Arg(1);

void BM_AnalyticPriceOnly(benchmark::State& state) {
  const auto type = static_cast<OptionType>(state.range(0));
  const auto evaluate = [&](double spot) {
    return AnalyticPricer::price_only(
        {type, vyr::ExerciseStyle::European, 100.0, 1.0, spot, 0.2, 0.05, 0.01});
  };
  state.counters["allocs/eval"] = allocations_of([&] { benchmark::DoNotOptimize(evaluate(100)); });
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(evaluate(kSpots[k++ & 7]));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AnalyticPriceOnly)->ArgName("put")->Arg(0)->Arg(1);

}  // namespace
