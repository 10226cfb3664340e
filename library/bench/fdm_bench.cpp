// Micro-benchmarks of the finite-difference engine: whole pricings at the default settings, one
// TR-BDF2 step, and the scaling of a pricing with grid nodes × time steps.
#include <benchmark/benchmark.h>

#include <vector>

#include "core/instant.hpp"
#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/finite_difference/payoff.hpp"
#include "methods/finite_difference/spatial_discretisation.hpp"
#include "methods/finite_difference/stepping_scheme/projected_solve.hpp"
#include "methods/finite_difference/time_stepping/tr_bdf2.hpp"
#include "orchestration/fdm.hpp"

namespace vyr {
namespace {

// A one-year option: spot 100, strike 100, σ 20 %, r 5 %, no yield, no dividends.
void price(benchmark::State& state, OptionType type, ExerciseStyle style, FdmConfig config) {
  const PricingInputs inputs{type, style, 100.0, 1.0, 100.0, 0.2, 0.05, 0.0};
  for (auto _ : state) {
    benchmark::DoNotOptimize(FdmPricer::price(inputs, {}, {}, config));
  }
}

void BM_DefaultAmericanPut(benchmark::State& state) {
  price(state, OptionType::Put, ExerciseStyle::American, FdmConfig{});
}
BENCHMARK(BM_DefaultAmericanPut);

void BM_DefaultEuropeanCall(benchmark::State& state) {
  price(state, OptionType::Call, ExerciseStyle::European, FdmConfig{});
}
BENCHMARK(BM_DefaultEuropeanCall);

// One step of an American put on the default 101-node grid.
void BM_TrBdf2Step(benchmark::State& state) {
  constexpr std::size_t kNodes = 101;
  const CoordinateTransform transform(TransformKind::Sinh, 100.0, 0.3);
  std::vector<double> grid_storage(2 * Grid::storage_size(kNodes));
  std::vector<double> operator_storage(TridiagonalOperator::storage_size(kNodes));
  std::vector<double> stepper_storage(TrBdf2::storage_size(kNodes));
  std::vector<double> values(kNodes);
  std::vector<double> image(kNodes);
  const std::span<double> grids(grid_storage);
  const Grid grid = build_uniform_grid(transform, transform.to_x(44.9329), transform.to_x(222.554),
                                       kNodes, grids.first(Grid::storage_size(kNodes)));
  SpatialDiscretisation<NeumannStandard> discretisation(
      grid, grids.first(Grid::storage_size(kNodes)), grids.last(Grid::storage_size(kNodes)),
      FdmProcess{0.05, 0.0, 0.2},
      NeumannStandard::for_option(OptionType::Put, ExerciseStyle::American, 100.0, 0.0),
      operator_storage);
  ProjectedSolve scheme(discretisation, VanillaPayoff::for_option(OptionType::Put, 100.0));
  TrBdf2 stepper(kNodes, stepper_storage);
  InputVectors vectors{values, image};
  scheme.initialise(vectors);
  double tau = 0.0;
  for (auto _ : state) {
    stepper.step(scheme, vectors, 0.1, tau);
    tau += 1e-9;
    benchmark::DoNotOptimize(vectors.values.data());
  }
}
BENCHMARK(BM_TrBdf2Step);

// Nodes × steps; the time per node-step should stay roughly flat.
void BM_Scaling(benchmark::State& state) {
  FdmConfig config;
  config.grid_nodes = static_cast<std::uint64_t>(state.range(0));
  config.time_steps = static_cast<std::uint64_t>(state.range(1));
  price(state, OptionType::Put, ExerciseStyle::American, config);
  const double node_steps = static_cast<double>(state.range(0)) * state.range(1);
  state.counters["ns_per_node_step"] = benchmark::Counter(
      node_steps, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_Scaling)
    ->ArgsProduct({{101, 201, 501, 1001, 2001}, {10, 100, 1000}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vyr
