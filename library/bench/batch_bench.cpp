// Micro-benchmarks of the chain loop alone, without Python: the chains of bench/chain.py (the same
// strikes, expiries and market) valued and solved by value_options and implied_volatilities. The
// time per row is what the Python batch call costs at the least.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/period.hpp"
#include "execution/batch.hpp"

namespace vyr {
namespace {

constexpr std::int64_t kValuationUnix = 1'767'571'200;  // 2026-01-05 00:00 UTC
constexpr int kExpiryDays[] = {7,   14,  21,  30,  45,  60,  91,  120, 152, 182,
                               213, 244, 274, 305, 335, 365, 456, 547, 638, 730};

struct Chain {
  std::vector<double> strikes;
  std::vector<Instant> expiries;
  std::vector<OptionType> types;
  std::vector<ExerciseStyle> styles;

  Chain(double low, double high, int strike_count, ExerciseStyle style) {
    for (const int days : kExpiryDays) {
      const Instant expiry = *Instant::from_unix(kValuationUnix + days * 86'400, 0);
      for (int i = 0; i < strike_count; ++i) {
        for (const OptionType type : {OptionType::Call, OptionType::Put}) {
          strikes.push_back(low + (high - low) * i / (strike_count - 1));
          expiries.push_back(expiry);
          types.push_back(type);
          styles.push_back(style);
        }
      }
    }
  }
  std::size_t size() const { return strikes.size(); }
  OptionColumns columns() const { return OptionColumns{strikes, expiries, types, styles}; }
};

MarketFrame market(double vol) {
  const DayCountConvention act365 = DayCountConvention::actual_365_fixed();
  return MarketFrame{100.0,
                     RateCurve::continuous(0.05, act365),
                     VolSurface::flat(vol, act365),
                     {},
                     RateCurve::continuous(0.01, act365)};
}

const Instant kValuation = *Instant::from_unix(kValuationUnix, 0);

struct Outputs {
  std::vector<double> price, delta, gamma, theta, vega, rho;
  explicit Outputs(std::size_t rows)
      : price(rows), delta(rows), gamma(rows), theta(rows), vega(rows), rho(rows) {}
  ValuationColumns columns() { return ValuationColumns{price, delta, gamma, theta, vega, rho}; }
};

void value_chain(benchmark::State& state, const Chain& chain) {
  const MarketFrame frame = market(0.2);
  const BatchSetting setting{frame, kValuation, PricingConfig::initial()};
  Outputs out(chain.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        value_options(chain.columns(), setting, OnRowError::Continue, out.columns()));
  }
  state.counters["ns_per_row"] = benchmark::Counter(
      static_cast<double>(chain.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_EuropeanChain(benchmark::State& state) {
  value_chain(state, Chain(60.0, 140.0, 250, ExerciseStyle::European));
}
BENCHMARK(BM_EuropeanChain)->Unit(benchmark::kMillisecond);

void BM_AmericanChain(benchmark::State& state) {
  value_chain(state, Chain(70.0, 130.0, 50, ExerciseStyle::American));
}
BENCHMARK(BM_AmericanChain)->Unit(benchmark::kMillisecond);

// The rows of the European chain whose closed-form price at 25 % is at least 0.01, solved for
// the volatility of that price.
void BM_ImpliedVolChain(benchmark::State& state) {
  const Chain all(60.0, 140.0, 250, ExerciseStyle::European);
  Outputs priced(all.size());
  const MarketFrame at_25 = market(0.25);
  value_options(all.columns(), BatchSetting{at_25, kValuation, PricingConfig::initial()},
                OnRowError::Continue, priced.columns());
  Chain quoted = all;
  quoted.strikes.clear();
  quoted.expiries.clear();
  quoted.types.clear();
  quoted.styles.clear();
  std::vector<double> targets;
  for (std::size_t row = 0; row < all.size(); ++row) {
    if (priced.price[row] >= 0.01) {
      quoted.strikes.push_back(all.strikes[row]);
      quoted.expiries.push_back(all.expiries[row]);
      quoted.types.push_back(all.types[row]);
      quoted.styles.push_back(all.styles[row]);
      targets.push_back(priced.price[row]);
    }
  }
  const MarketFrame frame = market(0.2);
  const BatchSetting setting{frame, kValuation, PricingConfig::initial()};
  std::vector<double> vols(quoted.size());
  for (auto _ : state) {
    benchmark::DoNotOptimize(
        implied_volatilities(quoted.columns(), targets, setting, OnRowError::Continue, vols));
  }
  state.counters["rows"] = static_cast<double>(quoted.size());
  state.counters["ns_per_row"] = benchmark::Counter(
      static_cast<double>(quoted.size()),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ImpliedVolChain)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace vyr
