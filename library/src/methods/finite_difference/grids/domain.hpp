// The spatial domain of a pricing: a range of spot values centred on the strike in log-spot.
#pragma once

namespace vyr {

struct SpotRange {
  double s_min;
  double s_max;
};

// S_min = exp(ln K − n·w) and S_max = exp(ln K + n·w) with w = σ·√T and n = `std_devs`.
// `reference_spot` is the spot at which the result will be read, moved onto the grid the march
// starts from (the spot less the cash dividends the march applies). When w > 0, n > 0 and the
// reference spot is positive and finite but outside that range, the half-width grows to
// n′ = |ln(S*/K)| / w + n standard deviations, so that the range still centred on K covers it
// with n standard deviations to spare. In every other case the range is the plain one.
SpotRange centred_spot_range(double strike, double sigma, double maturity, double std_devs,
                             double reference_spot);

}  // namespace vyr
