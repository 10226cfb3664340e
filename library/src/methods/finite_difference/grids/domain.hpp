// The spatial domain of a pricing: a range of spot values centred on the strike in log-spot.
#pragma once

namespace vyr {

struct SpotRange {
  double s_min;
  double s_max;
};

// The standard deviations σ·√T that the range keeps between the spot and either edge. A spot in
// the outermost standard deviation reads a value that the far-field condition at the edge has
// already bent; one is enough to keep every reading clear of it (a study of Europeans read from
// two to five standard deviations off the strike: the largest error at 801 × 640 fell from 269
// times the tolerance to 1.1 with a margin of one, and rose again with wider margins, which only
// spread the nodes).
inline constexpr double kSpotMargin = 1.0;

// S_min = exp(ln K − n·w) and S_max = exp(ln K + n·w) with w = σ·√T and n = `std_devs`.
// `reference_spot` is the spot at which the result will be read, moved onto the grid the march
// starts from (the spot less the cash dividends the march applies). When w > 0, n > 0 and the
// reference spot is positive and finite but closer than kSpotMargin standard deviations to an
// edge (or beyond it), the half-width grows to n′ = |ln(S*/K)| / w + kSpotMargin, so that the
// range, still centred on K, keeps that margin; n′ meets n where the margin is just kept, so the
// range, and with it the price, is continuous in the spot. In every other case the range is the
// plain one.
SpotRange centred_spot_range(double strike, double sigma, double maturity, double std_devs,
                             double reference_spot);

}  // namespace vyr
