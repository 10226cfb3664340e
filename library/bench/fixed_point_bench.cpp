// Micro-benchmarks of the fixed-point American pricer: the price alone and with its Greeks, at
// the default settings and the high-accuracy preset, for a few representative options, and the
// whole benchmark portfolio (1458 American puts) at several settings.
//
// With VYR_FIXED_POINT_REFERENCE set to a CSV of the portfolio with reference prices (written by
// bench/fixed_point_study.py: spot, days, r, q, sigma, reference per line), the portfolio
// benchmarks also report the RMS and largest error against it: the accuracy study.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "methods/fixed_point/fixed_point_pricer.hpp"

// Counted by the allocation meter of analytic_pricer_bench.cpp.
std::size_t allocation_count();

namespace vyr {
namespace {

struct Case {
  const char* name;
  OptionType type;
  double strike, maturity, spot, sigma, r, q;
};

// A put at the money without a yield, a put whose boundary starts at K·r/q, a call, a week and
// three years to expiry.
constexpr std::array<Case, 5> kCases{{
    {"put_atm_1y", OptionType::Put, 100.0, 1.0, 100.0, 0.25, 0.05, 0.0},
    {"put_high_yield_2y", OptionType::Put, 100.0, 2.0, 90.0, 0.3, 0.03, 0.08},
    {"call_1y", OptionType::Call, 100.0, 1.0, 105.0, 0.3, 0.02, 0.06},
    {"put_1w", OptionType::Put, 100.0, 7.0 / 365.0, 98.0, 0.2, 0.05, 0.01},
    {"put_3y", OptionType::Put, 100.0, 3.0, 90.0, 0.4, 0.08, 0.04},
}};

FixedPointSettings preset(int level) {
  FixedPointSettings s;
  switch (level) {
    case 0:  // coarse: about 1e-5 on the portfolio
      s.collocation_nodes = 6;
      s.collocation_nodes_off_strike = 8;
      s.boundary_quadrature_nodes = 8;
      s.premium_quadrature_nodes = 16;
      break;
    case 1:  // the defaults
      break;
    case 2:  // finer: about 1e-8
      s.collocation_nodes = 16;
      s.collocation_nodes_off_strike = 20;
      s.iterations = 3;
      s.first_iteration_quadrature_nodes = 8;
      s.boundary_quadrature_nodes = 16;
      s.premium_quadrature_nodes = 48;
      break;
    default:
      s = FixedPointSettings::high_accuracy();
  }
  return s;
}

const char* preset_name(int level) {
  constexpr std::array<const char*, 4> kNames{"coarse", "default", "fine", "high_accuracy"};
  return kNames[static_cast<std::size_t>(level)];
}

// Each benchmark also prices four nearby spots in turn, so that nothing is reused between calls.
template <bool kGreeks>
void single(benchmark::State& state, const Case& c, int level) {
  const FixedPointSettings settings = preset(level);
  const auto evaluate = [&](double spot) {
    if constexpr (kGreeks) {
      return FixedPointPricer::price(c.type, c.strike, c.maturity, spot, c.sigma, c.r, c.q,
                                     settings)
          .price;
    } else {
      return FixedPointPricer::price_only(c.type, c.strike, c.maturity, spot, c.sigma, c.r, c.q,
                                          settings);
    }
  };
  evaluate(c.spot);  // builds the rule tables of these sizes, once per process
  const std::size_t before = allocation_count();
  benchmark::DoNotOptimize(evaluate(c.spot));
  state.counters["allocs/eval"] = static_cast<double>(allocation_count() - before);
  const std::array<double, 4> spots{c.spot, c.spot * 1.001, c.spot * 0.999, c.spot * 1.002};
  std::size_t k = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(evaluate(spots[k++ & 3]));
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::string(c.name) + " " + preset_name(level));
}

void BM_FixedPointPriceOnly(benchmark::State& state) {
  single<false>(state, kCases[static_cast<std::size_t>(state.range(0))],
                static_cast<int>(state.range(1)));
}
void BM_FixedPointPriceWithGreeks(benchmark::State& state) {
  single<true>(state, kCases[static_cast<std::size_t>(state.range(0))],
               static_cast<int>(state.range(1)));
}

void representative(benchmark::internal::Benchmark* b) {
  b->ArgNames({"case", "level"});
  for (int level : {1, 3}) {
    for (int c = 0; c < static_cast<int>(kCases.size()); ++c) {
      b->Args({c, level});
    }
  }
}
BENCHMARK(BM_FixedPointPriceOnly)->Apply(representative);
BENCHMARK(BM_FixedPointPriceWithGreeks)->Apply(representative);

// The benchmark portfolio: American puts, K = 100, every combination of these.
struct PortfolioPut {
  double spot, days, r, q, sigma, reference;
};

std::vector<PortfolioPut> portfolio() {
  std::vector<PortfolioPut> puts;
  for (const double spot : {25.0, 50.0, 80.0, 90.0, 100.0, 110.0, 120.0, 150.0, 200.0}) {
    for (const double days : {30.0, 91.0, 182.0, 365.0, 730.0, 1095.0}) {
      for (const double r : {0.02, 0.05, 0.08}) {
        for (const double q : {0.0, 0.04, 0.08}) {
          for (const double sigma : {0.1, 0.25, 0.5}) {
            puts.push_back({spot, days, r, q, sigma, std::nan("")});
          }
        }
      }
    }
  }
  // Reference prices, when a study file is given; its lines follow the same order.
  if (const char* path = std::getenv("VYR_FIXED_POINT_REFERENCE")) {
    if (std::FILE* file = std::fopen(path, "r")) {
      std::array<char, 512> line;
      for (PortfolioPut& p : puts) {
        double spot, days, r, q, sigma, reference;
        if (std::fgets(line.data(), line.size(), file) == nullptr ||
            std::sscanf(line.data(), "%lf,%lf,%lf,%lf,%lf,%lf", &spot, &days, &r, &q, &sigma,
                        &reference) != 6 ||
            spot != p.spot || days != p.days || r != p.r || q != p.q || sigma != p.sigma) {
          break;
        }
        p.reference = reference;
      }
      std::fclose(file);
    }
  }
  return puts;
}

template <bool kGreeks>
void whole_portfolio(benchmark::State& state) {
  static const std::vector<PortfolioPut> puts = portfolio();
  const FixedPointSettings settings = preset(static_cast<int>(state.range(0)));
  const auto evaluate = [&](const PortfolioPut& p) {
    if constexpr (kGreeks) {
      return FixedPointPricer::price(OptionType::Put, 100.0, p.days / 365.0, p.spot, p.sigma, p.r,
                                     p.q, settings)
          .price;
    } else {
      return FixedPointPricer::price_only(OptionType::Put, 100.0, p.days / 365.0, p.spot, p.sigma,
                                          p.r, p.q, settings);
    }
  };
  double squares = 0.0;
  double largest = 0.0;
  bool referenced = true;
  for (const PortfolioPut& p : puts) {
    const double error = evaluate(p) - p.reference;
    referenced = referenced && std::isfinite(p.reference);
    squares += error * error;
    largest = std::max(largest, std::fabs(error));
  }
  for (auto _ : state) {
    for (const PortfolioPut& p : puts) {
      benchmark::DoNotOptimize(evaluate(p));
    }
  }
  const double n = static_cast<double>(puts.size());
  state.counters["time/price"] = benchmark::Counter(
      n, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  if (referenced) {
    state.counters["rmse"] = std::sqrt(squares / n);
    state.counters["max_error"] = largest;
  }
  state.SetLabel(preset_name(static_cast<int>(state.range(0))));
}

void BM_FixedPointPortfolio(benchmark::State& state) {
  whole_portfolio<false>(state);
}
void BM_FixedPointPortfolioWithGreeks(benchmark::State& state) {
  whole_portfolio<true>(state);
}
BENCHMARK(BM_FixedPointPortfolio)
    ->ArgName("level")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FixedPointPortfolioWithGreeks)
    ->ArgName("level")
    ->DenseRange(0, 3)
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vyr
