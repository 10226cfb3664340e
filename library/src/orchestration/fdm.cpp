#include "orchestration/fdm.hpp"

#include <string>
#include <vector>

#include "core/error.hpp"
#include "math/interpolate/linear.hpp"
#include "math/interpolate/monotone_cubic.hpp"
#include "methods/finite_difference/boundary_conditions/neumann_standard.hpp"
#include "methods/finite_difference/fdm_process.hpp"
#include "methods/finite_difference/grids/domain.hpp"
#include "methods/finite_difference/grids/exercise_boundary_range.hpp"
#include "methods/finite_difference/grids/uniform.hpp"
#include "methods/finite_difference/payoff.hpp"
#include "methods/finite_difference/spatial_discretisation.hpp"
#include "methods/finite_difference/stepping_scheme/linear.hpp"
#include "methods/finite_difference/stepping_scheme/post_projection.hpp"
#include "methods/finite_difference/time_grid.hpp"
#include "methods/finite_difference/time_stepping/tr_bdf2.hpp"
#include "methods/finite_difference/workspace.hpp"

namespace vyr {

namespace {

// Steps every interval of the time grid, latest first, applying the dividend at the end of
// each; τ at the start of a step is computed from the step's index.
template <typename Scheme>
void march(Scheme& scheme, TrBdf2& stepper, InputVectors& state, const TimeGrid& time_grid,
           double maturity) {
  scheme.initialise(state);
  for (const TimeInterval& interval : time_grid.intervals()) {
    for (std::uint64_t k = 0; k < interval.steps; ++k) {
      const double t = interval.start - static_cast<double>(k) * interval.dt;
      stepper.step(scheme, state, interval.dt, maturity - t);
    }
    if (interval.end > 0.0) {
      scheme.apply_dividend(state, interval.dividend);
    }
  }
}

MonotoneCubicInterpolator spline(std::span<const double> xs, std::span<const double> ys) {
  auto created = MonotoneCubicInterpolator::create(std::vector<double>(xs.begin(), xs.end()),
                                                   std::vector<double>(ys.begin(), ys.end()));
  if (!created) {
    panic("Spline failed in continuation region: " + std::string(debug_text(created.error())));
  }
  return std::move(created).value();
}

// The image spline through (xs, ys) read at x. Inside the grid the cubic piece that holds x
// depends only on the four nodes around it (the slopes of its two end nodes are secants over
// their neighbours, limited by the neighbouring secants), so the spline through those four nodes
// gives the very same value at a fraction of the cost. The end pieces depend on the natural
// spline's curvature over the whole grid and use every node.
double image_at(std::span<const double> xs, std::span<const double> ys, double x) {
  const std::size_t n = xs.size();
  const std::size_t j = locate_segment(xs, x);
  if (j >= 1 && j + 2 < n) {
    return spline(xs.subspan(j - 1, 4), ys.subspan(j - 1, 4)).value(x);
  }
  return spline(xs, ys).value(x);
}

}  // namespace

PricingResult FdmPricer::price(const PricingInputs& in, std::span<const double> dividend_times,
                               std::span<const double> dividend_amounts, const FdmConfig& config) {
  const double maturity = in.maturity;
  const double spot = in.spot;
  const double sigma = in.sigma;
  const double r = in.r;
  const double q = in.q;
  const std::size_t nodes = config.grid_nodes;
  FdmWorkspace workspace(nodes, dividend_times.size());

  const TimeGrid time_grid(maturity, dividend_times, dividend_amounts, config.time_steps,
                           workspace.intervals());

  // The grid the march starts from is centred on the strike; the spot, less the cash the march
  // adds to the nodes, must lie on it.
  const double strike = in.strike;
  const CoordinateTransform transform(config.transform.kind, strike, config.transform.alpha);
  // An American option's in-the-money edge is kept clear of the exercise boundary.
  const SpotRange range =
      clear_of_exercise_boundary(centred_spot_range(strike, sigma, maturity, config.grid_std_devs,
                                                    spot - time_grid.applied_dividends()),
                                 in.type, in.style, strike, sigma, maturity, r, q);
  const Grid grid =
      build_uniform_grid(transform, transform.to_x(range.s_min), transform.to_x(range.s_max), nodes,
                         workspace.grid_storage(0));

  SpatialDiscretisation<NeumannStandard> discretisation(
      grid, workspace.grid_storage(0), workspace.grid_storage(1), FdmProcess{r, q, sigma},
      NeumannStandard::for_option(in.type, in.style, strike, q), workspace.operator_storage());
  TrBdf2 stepper(nodes, workspace.stepper_storage());
  InputVectors state{workspace.values(), workspace.image()};
  const VanillaPayoff payoff = VanillaPayoff::for_option(in.type, strike);
  if (in.style == ExerciseStyle::European) {
    Linear<NeumannStandard> scheme(discretisation, payoff);
    march(scheme, stepper, state, time_grid, maturity);
  } else {
    PostProjection<NeumannStandard> scheme(discretisation, payoff);
    march(scheme, stepper, state, time_grid, maturity);
  }
  if (time_grid.intervals().empty()) {
    panic("Solver never ran");
  }

  // Spot nodes recomputed from the final grid's x, then the value and image splines.
  const std::span<const double> s = discretisation.grid().s_of_x();
  const MonotoneCubicInterpolator value_spline = spline(s, state.values.first(nodes));
  return PricingResult{
      .vega = std::nullopt,
      .rho = std::nullopt,
      .delta = value_spline.derivative(spot),
      .gamma = value_spline.second_derivative(spot),
      .theta = -image_at(s, state.image.first(nodes), spot),
      .price = value_spline.value(spot),
  };
}

}  // namespace vyr
